#include "PictureFixtures.h"
#include "encoding/AtomicFile.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/WebPHandles.h"

#include <QFileInfo>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using namespace fixtures;
using namespace testsupport;

namespace {

struct Source {
    QString png;
    PictureRecord record;
};

Source makeSource(const QTemporaryDir& dir, const QString& name, int width, int height, bool alpha)
{
    Source source;
    source.png = dir.filePath(name);
    if (savePng(makePicture(width, height, alpha, 7), source.png))
        loadWithQt(source.png.toStdString(), source.record);
    return source;
}

int encodeFile(const QString& path, PictureRecord& record, const EncodeSettings& settings)
{
    return EncodeStillWebP(path.toStdString(), record, settings, nullptr, 0);
}

} // namespace

Q_DECLARE_METATYPE(quorvanta::EncodeSettings)

class TestEncodeStill : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void losslessRoundTripIsExact_data()
    {
        QTest::addColumn<bool>("alpha");
        QTest::newRow("opaque") << false;
        QTest::newRow("alpha") << true;
    }
    void losslessRoundTripIsExact()
    {
        QFETCH(bool, alpha);
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 97, 61, alpha);
        QVERIFY(source.record.pixels);
        const auto before = pixelsOf(source.record);
        const QString out = dir.filePath(QStringLiteral("out.webp"));
        EncodeSettings settings;
        settings.lossless = 1;
        QCOMPARE(encodeFile(out, source.record, settings), 1);
        const Decoded decoded = decodeWebP(readAll(out));
        QCOMPARE(decoded.width, 97);
        QCOMPARE(decoded.height, 61);
        // Fully transparent pixels keep their alpha; libwebp drops their invisible colour.
        for (std::size_t i = 0; i < before.size(); ++i) {
            const std::uint32_t expected = (before[i] >> 24) == 0 ? 0 : before[i];
            QCOMPARE(decoded.pixels[i], expected);
        }
    }

    void lossyStaysCloseToTheSource_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<double>("minimumPsnr");
        QTest::newRow("50") << 50 << 25.0;
        QTest::newRow("90") << 90 << 30.0;
        QTest::newRow("100") << 100 << 33.0;
    }
    void lossyStaysCloseToTheSource()
    {
        QFETCH(int, quality);
        QFETCH(double, minimumPsnr);
        QTemporaryDir dir;
        EncodeSettings settings;
        settings.quality = quality;
        for (const bool alpha : {false, true}) {
            Source source = makeSource(dir, QStringLiteral("in.png"), 160, 120, alpha);
            const auto before = pixelsOf(source.record);
            const QString out = dir.filePath(QStringLiteral("out.webp"));
            QCOMPARE(encodeFile(out, source.record, settings), 1);
            const auto after = decodeWebP(readAll(out)).pixels;
            QCOMPARE(after.size(), before.size());
            // The borrowed pixels are not changed by lossy coding.
            QVERIFY(pixelsOf(source.record) == before);
            if (!alpha) {
                const double measured = psnr4(before, after);
                QVERIFY2(measured >= minimumPsnr, qPrintable(QString::number(measured)));
                continue;
            }
            // Alpha is coded losslessly even when the colour is not.
            for (std::size_t i = 0; i < before.size(); ++i)
                QCOMPARE(after[i] >> 24, before[i] >> 24);
        }
    }

    // The settings reach libwebp unchanged: the output is the reference encoder's, byte for byte.
    void matchesReferenceEncoder_data()
    {
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<EncodeSettings>("settings");
        QTest::newRow("defaults") << false << EncodeSettings{0, 50, 0, 0, 0};
        QTest::newRow("defaults, alpha") << true << EncodeSettings{0, 50, 0, 0, 0};
        QTest::newRow("q90 m4 f30 s3") << false << EncodeSettings{0, 90, 4, 30, 3};
        QTest::newRow("q20 m6 f100 s7") << true << EncodeSettings{0, 20, 6, 100, 7};
        QTest::newRow("lossless q75 m2") << true << EncodeSettings{1, 75, 2, 0, 0};
    }
    void matchesReferenceEncoder()
    {
        REQUIRE_TOOL(QStringLiteral("cwebp"));
        QFETCH(bool, alpha);
        QFETCH(EncodeSettings, settings);
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 203, 101, alpha);
        const QString ours = dir.filePath(QStringLiteral("ours.webp"));
        const QString theirs = dir.filePath(QStringLiteral("theirs.webp"));
        QCOMPARE(encodeFile(ours, source.record, settings), 1);
        QStringList args{QStringLiteral("-quiet"), QStringLiteral("-preset"), QStringLiteral("photo")};
        if (settings.lossless)
            args << QStringLiteral("-lossless");
        args << QStringLiteral("-q") << QString::number(settings.quality) << QStringLiteral("-m")
             << QString::number(settings.method) << QStringLiteral("-f") << QString::number(settings.filterStrength)
             << QStringLiteral("-sharpness") << QString::number(settings.filterSharpness) << QStringLiteral("-pre")
             << QStringLiteral("0") << source.png << QStringLiteral("-o") << theirs;
        QVERIFY(run(QStringLiteral("cwebp"), args));
        QCOMPARE(readAll(ours).toHex(), readAll(theirs).toHex());
    }

    // Out-of-range settings and write failures: the target keeps its bytes and nothing is left over.
    void failureLeavesTargetUntouched_data()
    {
        QTest::addColumn<EncodeSettings>("settings");
        QTest::newRow("quality 101") << EncodeSettings{0, 101, 0, 0, 0};
        QTest::newRow("method 7") << EncodeSettings{0, 50, 7, 0, 0};
        QTest::newRow("strength 101") << EncodeSettings{0, 50, 0, 101, 0};
        QTest::newRow("sharpness 8") << EncodeSettings{0, 50, 0, 0, 8};
        QTest::newRow("negative quality") << EncodeSettings{0, -1, 0, 0, 0};
        QTest::newRow("negative method, lossless") << EncodeSettings{1, 50, -1, 0, 0};
    }
    void failureLeavesTargetUntouched()
    {
        QFETCH(EncodeSettings, settings);
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 32, 32, false);
        const QString existing = dir.filePath(QStringLiteral("existing.webp"));
        QVERIFY(writeAll(existing, "old bytes"));
        const QStringList before = entriesOf(dir.path());
        QCOMPARE(encodeFile(existing, source.record, settings), -1);
        QCOMPARE(encodeFile(dir.filePath(QStringLiteral("new.webp")), source.record, settings), -1);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(dir.path()), before);
    }

    void unwritableTargetsAreRefused()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 32, 32, false);
        const EncodeSettings settings;
        // A directory, a device and a dangling link are never replaced.
        const QString subdir = dir.filePath(QStringLiteral("subdir"));
        QVERIFY(QDir().mkdir(subdir));
        QCOMPARE(encodeFile(subdir, source.record, settings), -1);
        QVERIFY(QFileInfo(subdir).isDir());
        struct stat device {};
        QCOMPARE(encodeFile(QStringLiteral("/dev/full"), source.record, settings), -1);
        QVERIFY(::stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode));
        const QString dangling = dir.filePath(QStringLiteral("dangling.webp"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere/x.webp")), dangling));
        const QStringList before = entriesOf(dir.path());
        QCOMPARE(encodeFile(dangling, source.record, settings), -1);
        QCOMPARE(entriesOf(dir.path()), before);
        QCOMPARE(encodeFile(dir.filePath(QStringLiteral("missing/out.webp")), source.record, settings), -1);
    }

    void readOnlyDirectory()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 32, 32, false);
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(locked));
        const QString existing = locked + QStringLiteral("/picture.webp");
        QVERIFY(writeAll(existing, "old bytes"));
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
        QVERIFY(::chmod(locked.toLocal8Bit().constData(), 0555) == 0);
        // The super-user ignores permission bits: check them as an ordinary user would.
        const bool root = ::geteuid() == 0;
        if (root)
            ::setfsuid(65534);
        const int result = encodeFile(existing, source.record, EncodeSettings{});
        if (root)
            ::setfsuid(0);
        ::chmod(locked.toLocal8Bit().constData(), 0755);
        QCOMPARE(result, -1);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(locked), QStringList{QStringLiteral("picture.webp")});
    }

    void fileSizeLimit()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 256, 256, false);
        const QString existing = dir.filePath(QStringLiteral("existing.webp"));
        QVERIFY(writeAll(existing, "old bytes"));
        const QStringList before = entriesOf(dir.path());
        rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 1000;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
        EncodeSettings settings;
        settings.lossless = 1; // far more than 1000 bytes of noise
        const int result = encodeFile(existing, source.record, settings);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(result, -1);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(dir.path()), before);
    }

    void replacesExistingFileAndFollowsLinks()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 40, 30, false);
        const QString real = dir.filePath(QStringLiteral("real"));
        QVERIFY(writeAll(real, "old bytes"));
        QVERIFY(::chmod(real.toLocal8Bit().constData(), 0640) == 0);
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(real, link));
        QCOMPARE(encodeFile(link, source.record, EncodeSettings{}), 1);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(decodeWebP(readAll(real)).width, 40);
        struct stat info {};
        QVERIFY(::stat(real.toLocal8Bit().constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QCOMPARE(entriesOf(dir.path()),
                 (QStringList{QStringLiteral("in.png"), QStringLiteral("link"), QStringLiteral("real")}));
    }

    void memoryModeOpensNoFile()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 40, 30, true);
        const QString existing = dir.filePath(QStringLiteral("existing"));
        QVERIFY(writeAll(existing, "old bytes"));
        const QStringList before = entriesOf(dir.path());
        MemoryWriter writer;
        QCOMPARE(EncodeStillWebP(existing.toStdString(), source.record, EncodeSettings{}, writer.get(), 1), 1);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(dir.path()), before);
        QCOMPARE(decodeWebP(QByteArray(reinterpret_cast<const char*>(writer.data()), qsizetype(writer.size()))).width,
                 40);
    }

    void callbacks()
    {
        // An empty chunk succeeds without a file; a chunk with no file to go to stops the encoding.
        WebPPicture picture;
        QVERIFY(WebPPictureInit(&picture));
        const std::uint8_t byte = 0;
        QCOMPARE(WriteToFile(&byte, 0, &picture), 1);
        QCOMPARE(WriteToFile(&byte, 1, &picture), 0);

        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 64, 64, false);
        std::vector<int> seen;
        const ProgressReport report = [&seen](int percent) { seen.push_back(percent); };
        MemoryWriter writer;
        QCOMPARE(EncodeStillWebP({}, source.record, EncodeSettings{}, writer.get(), 1, &report), 1);
        QVERIFY(!seen.empty());
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QVERIFY(seen.front() >= 0 && seen.back() <= 100 && seen.back() > 50);
    }

    void emptyRecordIsRefused()
    {
        QTemporaryDir dir;
        PictureRecord empty;
        const QString out = dir.filePath(QStringLiteral("out.webp"));
        QCOMPARE(encodeFile(out, empty, EncodeSettings{}), -1);
        QVERIFY(!QFileInfo::exists(out));
    }
};

QTEST_GUILESS_MAIN(TestEncodeStill)
#include "tst_encodestill.moc"
