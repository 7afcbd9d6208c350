// Metadata of source files: the blocks exiftool and webpmux write are read back byte for byte in
// every format, hostile blocks are refused without a read outside the data (the sanitizer build
// watches), and the bounded decompressor agrees with zlib.

#include "MetadataFixtures.h"
#include "import/Inflate.h"
#include "import/SourceMetadata.h"

#include <QRandomGenerator>

using namespace quorvanta;
using namespace metadatatest;

namespace {

SourceMetadata readMetadata(const QByteArray& file)
{
    return ReadSourceMetadata(std::span(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())));
}

QByteArray be16(int v) { return QByteArray(1, char(v >> 8)) + char(v); }
QByteArray be32(quint32 v) { return be16(int(v >> 16)) + be16(int(v & 0xFFFF)); }

QByteArray jpeg(const QByteArray& segments) { return "\xFF\xD8" + segments + "\xFF\xD9"; }
QByteArray segment(int marker, const QByteArray& payload, int length = -1)
{
    return QByteArray("\xFF") + char(marker) + be16(length < 0 ? int(payload.size()) + 2 : length) + payload;
}
QByteArray iccPiece(int sequence, int total, const QByteArray& data)
{
    return segment(0xE2, QByteArray("ICC_PROFILE\0", 12) + char(sequence) + char(total) + data);
}
const QByteArray kXmpSegment = segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + kXmp);

QByteArray png(const QByteArray& chunks) { return "\x89PNG\r\n\x1A\n" + chunks + be32(0) + "IEND" + be32(0); }
QByteArray chunk(const char* type, const QByteArray& data, quint32 length = 0xFFFFFFFF)
{
    return be32(length == 0xFFFFFFFF ? quint32(data.size()) : length) + type + data + be32(0); // CRC unchecked
}
const QByteArray kXmpChunk = chunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0\0\0\0", 22) + kXmp);
QByteArray zlib(const QByteArray& data) { return qCompress(data).mid(4); } // without Qt's size prefix

// A big-endian TIFF block: one directory at offset 8 with the given entries (tag, type, count,
// value or offset), then `tail`.
QByteArray tiff(const QList<std::array<quint32, 4>>& entries, const QByteArray& tail = {}, quint32 firstIfd = 8)
{
    QByteArray out = QByteArray("MM\0*", 4) + be32(firstIfd) + be16(int(entries.size()));
    for (const auto& [tag, type, count, value] : entries)
        out += be16(int(tag)) + be16(int(type)) + be32(count) + (type == 3 && count == 1 ? be16(int(value)) + be16(0) : be32(value));
    return out + be32(0) + tail;
}

} // namespace

class TestSourceMetadata : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(!iccProfile().isEmpty());
    }

    void readsWhatToolsWrote_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("iccSize");
        QTest::newRow("jpeg") << "jpeg" << 0;
        QTest::newRow("jpeg, profile in 3 segments") << "jpeg" << 150000;
        QTest::newRow("png") << "png" << 0;
        QTest::newRow("tiff") << "tiff" << 0;
        QTest::newRow("webp") << "webp" << 0;
    }

    // The profile comes back as written; XMP and EXIF as exiftool reads them from the file. A TIFF's
    // EXIF block is rebuilt from its directories, so exiftool reads the tags out of our block instead.
    void readsWhatToolsWrote()
    {
        REQUIRE_TOOL("exiftool");
        REQUIRE_TOOL("webpmux");
        QFETCH(QString, format);
        QFETCH(int, iccSize);
        const QString icc = dir.path() + "/profile.icc", xmp = dir.path() + "/packet.xmp";
        QVERIFY(testsupport::writeAll(icc, iccProfile(iccSize)) && testsupport::writeAll(xmp, kXmp));
        const QString path = writePicture(markedPicture(), dir.path(), "tagged", format);
        const QStringList tags = {"-n", "-Orientation=6", "-Make=Quorvanta", "-DateTimeOriginal=2024:05:06 07:08:09",
                                  "-GPSLatitude=12.5", "-GPSLatitudeRef=N"};
        if (format == "webp") {
            const QString source = writePicture(markedPicture(), dir.path(), "exifsource", "jpeg");
            const QString exif = dir.path() + "/block.exif";
            QVERIFY(exiftool(tags + QStringList{"-overwrite_original", source}));
            QVERIFY(testsupport::writeAll(exif, exiftoolBlock(source, "EXIF")));
            QVERIFY(webpmuxSet(path, "icc", icc) && webpmuxSet(path, "exif", exif) && webpmuxSet(path, "xmp", xmp));
        } else {
            QVERIFY(exiftool(tags + QStringList{"-ICC_Profile<=" + icc, "-XMP<=" + xmp, "-overwrite_original", path}));
        }

        const SourceMetadata meta = readMetadata(testsupport::readAll(path));
        QCOMPARE(meta.problem, std::string());
        QCOMPARE(toQt(meta.icc), iccProfile(iccSize));
        QCOMPARE(toQt(meta.xmp), exiftoolBlock(path, "XMP"));
        QCOMPARE(meta.orientation, 6);
        if (format != "tiff")
            QCOMPARE(toQt(meta.exif), exiftoolBlock(path, "EXIF"));
        const QString ours = dir.path() + "/ours.exif";
        QVERIFY(testsupport::writeAll(ours, toQt(meta.exif)));
        QByteArray read;
        QVERIFY(exiftool({"-s3", "-n", "-Orientation", "-Make", "-DateTimeOriginal", "-GPSLatitude", ours}, &read));
        QCOMPARE(read, QByteArray("6\nQuorvanta\n2024:05:06 07:08:09\n12.5\n"));
    }

    void refusesDamagedBlocks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("lost");    // the block that must not be kept
        QTest::addColumn<bool>("noted");      // `problem` names a damaged block
        QTest::addColumn<bool>("xmpKept");    // the sound XMP block placed before the damage survives

        const QByteArray p = iccProfile();
        QTest::newRow("jpeg segment past the end") << jpeg(kXmpSegment + segment(0xE1, "Exif", 0x4000)) << "exif" << true << true;
        QTest::newRow("jpeg segment shorter than its length") << jpeg(kXmpSegment + segment(0xE2, "", 1)) << "icc" << true << true;
        QTest::newRow("jpeg profile piece missing") << jpeg(kXmpSegment + iccPiece(2, 2, p)) << "icc" << true << true;
        QTest::newRow("jpeg profile piece twice") << jpeg(kXmpSegment + iccPiece(1, 2, p) + iccPiece(1, 2, p)) << "icc" << true << true;
        QTest::newRow("jpeg profile piece beyond its count") << jpeg(kXmpSegment + iccPiece(3, 2, p)) << "icc" << true << true;
        QTest::newRow("jpeg profile counts disagree") << jpeg(kXmpSegment + iccPiece(1, 2, p) + iccPiece(2, 3, p)) << "icc" << true << true;
        QTest::newRow("jpeg profile not a profile") << jpeg(kXmpSegment + iccPiece(1, 1, QByteArray(300, 'x'))) << "icc" << true << true;
        QTest::newRow("jpeg profile longer than declared data") << jpeg(kXmpSegment + iccPiece(1, 1, p.left(p.size() - 1))) << "icc" << true << true;
        const QByteArray exifHeader("Exif\0\0", 6);
        QTest::newRow("jpeg exif directory past the end") << jpeg(kXmpSegment + segment(0xE1, exifHeader + tiff({}, {}, 0xFFFFFFF0))) << "exif" << true << true;
        QTest::newRow("jpeg exif with 65535 entries in 20 bytes") << jpeg(kXmpSegment + segment(0xE1, exifHeader + QByteArray("MM\0*\0\0\0\x08\xFF\xFF", 10) + QByteArray(10, 0))) << "exif" << true << true;

        QTest::newRow("png chunk past the end") << png(kXmpChunk + chunk("eXIf", "MM", 0xFFFFFFF0)) << "exif" << true << true;
        QTest::newRow("png profile inflating past the limit") << png(kXmpChunk + chunk("iCCP", QByteArray("p\0\0", 3) + zlib(QByteArray(int(kMaxMetadataBlockBytes) + 1, 0)))) << "icc" << true << true;
        QByteArray broken = zlib(p);
        broken[broken.size() / 2] = char(~broken[broken.size() / 2]);
        QTest::newRow("png profile stream damaged") << png(kXmpChunk + chunk("iCCP", QByteArray("p\0\0", 3) + broken)) << "icc" << true << true;
        QTest::newRow("png xmp without its fields") << png(chunk("iTXt", QByteArray("XML:com.adobe.xmp\0\0", 19))) << "xmp" << true << false;

        QTest::newRow("tiff directory past the end") << tiff({}, {}, 0x7FFFFFFF) << "exif" << true << false;
        QTest::newRow("tiff profile past the end") << tiff({{34675, 7, 0x1000, 0xFFFFF000}}) << "icc" << false << false;
        // The EXIF directory leads back to the first; a second EXIF pointer in it is not followed.
        QTest::newRow("tiff exif directory pointing at itself") << tiff({{0x010F, 2, 4, 0x41424300}, {0x8769, 4, 1, 8}}) << "" << false << false;
        // 40 entries that all name the same 1 MiB: the rebuilt block would pass the limit.
        QList<std::array<quint32, 4>> many{{0x8769, 4, 1, 26}};
        QList<std::array<quint32, 4>> copies;
        for (quint32 i = 0; i < 40; ++i)
            copies.append({0x9000 + i, 7, 1u << 20, 26 + 2 + 40 * 12 + 4});
        const QByteArray exifDir = tiff(copies).mid(8);
        QTest::newRow("tiff exif rebuilt past the limit") << tiff(many, exifDir + QByteArray(1 << 20, 'v')) << "exif" << false << false;
    }

    void refusesDamagedBlocks()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, lost);
        QFETCH(bool, noted);
        QFETCH(bool, xmpKept);
        const SourceMetadata meta = readMetadata(file);
        if (lost == "icc")
            QVERIFY(meta.icc.empty());
        if (lost == "exif")
            QVERIFY(meta.exif.empty());
        if (lost == "xmp")
            QVERIFY(meta.xmp.empty());
        QCOMPARE(meta.orientation, 1);
        QCOMPARE(!meta.problem.empty(), noted);
        if (xmpKept)
            QCOMPARE(toQt(meta.xmp), kXmp);
    }

    void refusesDamagedWebP()
    {
        REQUIRE_TOOL("webpmux");
        REQUIRE_TOOL("cwebp");
        const QString path = writePicture(markedPicture(), dir.path(), "junkicc", "webp");
        const QString junk = dir.path() + "/junk.icc";
        QVERIFY(testsupport::writeAll(junk, QByteArray(300, 'j')) && webpmuxSet(path, "icc", junk));
        const SourceMetadata notProfile = readMetadata(testsupport::readAll(path));
        QVERIFY(notProfile.icc.empty());
        QVERIFY(!notProfile.problem.empty());

        const QByteArray plain = testsupport::readAll(writePicture(markedPicture(), dir.path(), "plain", "webp"));
        const SourceMetadata truncated = readMetadata(plain.left(plain.size() / 2));
        QVERIFY(truncated.empty());
        QVERIFY(!truncated.problem.empty());
    }

    void inflatesAsZlibDoes_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("level");
        QByteArray text;
        for (int i = 0; i < 3000; ++i)
            text += "colour profile " + QByteArray::number(i % 17) + ' ';
        QByteArray noise(70000, 0);
        QRandomGenerator random(5);
        for (char& c : noise)
            c = char(random.bounded(256));
        for (int level : {0, 1, 6, 9}) {
            QTest::addRow("text, level %d", level) << text << level;
            QTest::addRow("noise, level %d", level) << noise << level;
            QTest::addRow("profile, level %d", level) << iccProfile() << level;
            QTest::addRow("one byte, level %d", level) << QByteArray("x") << level;
        }
    }

    // Stored, fixed and dynamic blocks alike; every cut is refused, and so is a result one byte over
    // the cap.
    void inflatesAsZlibDoes()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, level);
        const Bytes stream = toBytes(qCompress(data, level).mid(4));
        const auto inflated = InflateZlib(stream, std::size_t(data.size()));
        QVERIFY(inflated);
        QCOMPARE(toQt(*inflated), data);
        QVERIFY(!InflateZlib(stream, std::size_t(data.size()) - 1));
        for (std::size_t cut = 0; cut < stream.size(); cut += 1 + stream.size() / 50)
            QVERIFY(!InflateZlib(std::span(stream).first(cut), std::size_t(data.size())));
        Bytes wrongSum = stream;
        wrongSum.back() ^= 1;
        QVERIFY(!InflateZlib(wrongSum, std::size_t(data.size())));
    }
};

QTEST_GUILESS_MAIN(TestSourceMetadata)
#include "tst_sourcemetadata.moc"
