// Variants no Debian tool writes, built byte by byte: IFF Extra-Half-Brite, HAM6, HAM8, mask plane,
// transparent colour, 32-bit deep and chunky PBM; TGA 15/16-bit, mirrored and offset colour maps.
// And the content checks of our readers claim their own formats only.

#include "ImportFixtures.h"

#include "import/IlbmReader.h"
#include "import/PcxReader.h"
#include "import/TgaReader.h"

#include <functional>

using namespace quorvanta;
using importtest::shell;

namespace {

QByteArray bytes(std::initializer_list<unsigned> values)
{
    QByteArray out;
    for (const unsigned v : values)
        out += char(v & 0xFF);
    return out;
}

QByteArray be16(unsigned v) { return bytes({v >> 8, v}); }
QByteArray be32(unsigned v) { return be16(v >> 16) + be16(v & 0xFFFF); }
QByteArray le16(unsigned v) { return bytes({v, v >> 8}); }

QByteArray chunk(const char* id, const QByteArray& data)
{
    QByteArray out = QByteArray(id, 4) + be32(unsigned(data.size())) + data;
    return data.size() % 2 ? out + '\0' : out;
}

struct Ilbm {
    int width = 1;
    int height = 1;
    int planes = 1;
    int masking = 0;
    unsigned transparent = 0;
    QByteArray cmap;
    unsigned camg = 0;
    bool chunky = false;
    bool byteRun1 = false;
    std::function<std::uint32_t(int, int)> raw;   // the pixel's value across all planes
    std::function<bool(int, int)> maskBit;        // the mask plane, when masking == 1

    QByteArray bytes() const
    {
        QByteArray body;
        for (int y = 0; y < height; ++y) {
            QByteArray line;
            if (chunky) {
                for (int x = 0; x < width; ++x)
                    line += char(raw(x, y));
                if (width % 2)
                    line += '\0';
            } else {
                const int planeBytes = (width + 15) / 16 * 2;
                for (int p = 0; p < planes + (masking == 1 ? 1 : 0); ++p) {
                    QByteArray plane(planeBytes, '\0');
                    for (int x = 0; x < width; ++x) {
                        const bool bit = p < planes ? (raw(x, y) >> p) & 1 : maskBit(x, y);
                        if (bit)
                            plane[x / 8] = char(plane[x / 8] | (0x80 >> (x % 8)));
                    }
                    line += plane;
                }
            }
            if (byteRun1) // literal runs of up to 128 bytes
                for (int i = 0; i < line.size(); i += 128)
                    body += char(std::min<int>(128, int(line.size()) - i) - 1) + line.mid(i, 128);
            else
                body += line;
        }
        const QByteArray bmhd = be16(unsigned(width)) + be16(unsigned(height)) + be32(0) + char(planes) +
                                char(masking) + char(byteRun1 ? 1 : 0) + '\0' + be16(transparent) +
                                QByteArray("\x0a\x0b", 2) + be16(unsigned(width)) + be16(unsigned(height));
        QByteArray form = QByteArray(chunky ? "PBM " : "ILBM") + chunk("BMHD", bmhd);
        if (!cmap.isEmpty())
            form += chunk("CMAP", cmap);
        if (camg)
            form += chunk("CAMG", be32(camg));
        form += chunk("BODY", body);
        return "FORM" + be32(unsigned(form.size())) + form;
    }
};

Ilbm ilbm(int width, int height, int planes)
{
    Ilbm out;
    out.width = width;
    out.height = height;
    out.planes = planes;
    return out;
}

QByteArray tgaHeader(int type, int cmapFirst, int cmapLength, int cmapDepth, int width, int height, int depth,
                     int descriptor)
{
    return bytes({0, cmapLength ? 1u : 0u, unsigned(type)}) + le16(unsigned(cmapFirst)) +
           le16(unsigned(cmapLength)) + char(cmapDepth) + le16(0) + le16(0) + le16(unsigned(width)) +
           le16(unsigned(height)) + char(depth) + char(descriptor);
}

QByteArray rgbs(std::initializer_list<QRgb> colors)
{
    QByteArray out;
    for (const QRgb c : colors)
        out += bytes({unsigned(qRed(c)), unsigned(qGreen(c)), unsigned(qBlue(c))});
    return out;
}

} // namespace

class TestImportVariants : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void decodes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QRgb>>("expected"); // 0xAARRGGBB, rows top to bottom
        QTest::addColumn<int>("width");

        QByteArray cmap32;
        for (int i = 0; i < 32; ++i)
            cmap32 += rgbs({qRgb(i * 8, 255 - i * 8, 0x81)});
        Ilbm ehb = ilbm(64, 1, 6);
        ehb.cmap = cmap32;
        ehb.raw = [](int x, int) { return std::uint32_t(x); };
        QList<QRgb> ehbWant;
        for (int i = 0; i < 64; ++i)
            ehbWant << (i < 32 ? qRgb(i * 8, 255 - i * 8, 0x81) : qRgb((i - 32) * 4, (255 - (i - 32) * 8) / 2, 0x40));
        QTest::newRow("ilbm extra-half-brite") << ehb.bytes() << ehbWant << 64;

        // Control bits: 00 colour map, 01 blue, 10 red, 11 green. The value replaces the upper bits;
        // every line starts again from colour 0.
        Ilbm ham6 = ilbm(5, 2, 6);
        ham6.cmap = rgbs({qRgb(0, 0, 0), qRgb(0x10, 0x20, 0x30)});
        ham6.camg = 0x800;
        ham6.byteRun1 = true;
        ham6.raw = [](int x, int y) {
            return y ? std::uint32_t(0x15) : std::uint32_t(QList<int>{0x01, 0x1F, 0x28, 0x33, 0x00}[x]);
        };
        QTest::newRow("ilbm ham6") << ham6.bytes()
                                   << QList<QRgb>{qRgb(0x10, 0x20, 0x30), qRgb(0x10, 0x20, 0xF0), qRgb(0x80, 0x20, 0xF0),
                                                  qRgb(0x80, 0x30, 0xF0), qRgb(0, 0, 0), qRgb(0, 0, 0x50),
                                                  qRgb(0, 0, 0x50), qRgb(0, 0, 0x50), qRgb(0, 0, 0x50), qRgb(0, 0, 0x50)}
                                   << 5;

        Ilbm ham8 = ilbm(3, 1, 8);
        ham8.cmap = rgbs({qRgb(3, 3, 3)});
        ham8.camg = 0x800;
        ham8.raw = [](int x, int) { return std::uint32_t(QList<int>{0x7F, 0x90, 0xE0}[x]); };
        QTest::newRow("ilbm ham8") << ham8.bytes()
                                   << QList<QRgb>{qRgb(3, 3, 0xFF), qRgb(0x43, 3, 0xFF), qRgb(0x43, 0x83, 0xFF)} << 3;

        Ilbm mask = ilbm(3, 1, 2);
        mask.masking = 1;
        mask.cmap = rgbs({0xff000000, 0xff112233, 0xff445566, 0xff778899});
        mask.raw = [](int x, int) { return std::uint32_t(x + 1); };
        mask.maskBit = [](int x, int) { return x != 1; };
        QTest::newRow("ilbm mask plane") << mask.bytes() << QList<QRgb>{0xff112233, 0x00445566, 0xff778899} << 3;

        Ilbm transparent = mask;
        transparent.masking = 2;
        transparent.transparent = 3;
        QTest::newRow("ilbm transparent colour") << transparent.bytes()
                                                 << QList<QRgb>{0xff112233, 0xff445566, 0x00778899} << 3;

        Ilbm deep = ilbm(2, 1, 32);
        deep.byteRun1 = true;
        deep.raw = [](int x, int) { return x ? 0x80ccbbaau : 0x00332211u; }; // R in the lowest planes
        QTest::newRow("ilbm 32-bit deep") << deep.bytes() << QList<QRgb>{0x00112233, 0x80aabbcc} << 2;

        Ilbm chunky = ilbm(3, 2, 8);
        chunky.chunky = true;
        chunky.byteRun1 = true;
        chunky.cmap = rgbs({0xff000000, 0xff112233, 0xff445566});
        chunky.raw = [](int x, int y) { return std::uint32_t((x + y) % 3); };
        QTest::newRow("pbm chunky, odd width")
            << chunky.bytes()
            << QList<QRgb>{0xff000000, 0xff112233, 0xff445566, 0xff112233, 0xff445566, 0xff000000} << 3;

        // 16-bit with an attribute bit as alpha; 15-bit ignores the top bit. Top-left origin.
        QTest::newRow("tga 16-bit with alpha bit")
            << tgaHeader(2, 0, 0, 0, 2, 1, 16, 0x21) + le16(0xFC00) + le16(0x001F)
            << QList<QRgb>{0xffff0000, 0x000000ff} << 2;
        QTest::newRow("tga 15-bit") << tgaHeader(2, 0, 0, 0, 2, 1, 15, 0x20) + le16(0x83E0) + le16(0x0010)
                                    << QList<QRgb>{0xff00ff00, 0xff000084} << 2;
        // Bottom-left origin, right to left: the first stored pixel is the bottom right one.
        QTest::newRow("tga mirrored") << tgaHeader(3, 0, 0, 0, 2, 2, 8, 0x10) + QByteArray("\x01\x02\x03\x04", 4)
                                      << QList<QRgb>{0xff040404, 0xff030303, 0xff020202, 0xff010101} << 2;
        // Colour map entries numbered from 16, 32-bit entries with alpha.
        QTest::newRow("tga colour map from 16")
            << tgaHeader(1, 16, 2, 32, 2, 1, 8, 0x28) + QByteArray("\x33\x22\x11\x80\x66\x55\x44\xff\x11\x10", 10)
            << QList<QRgb>{0xff445566, 0x80112233} << 2;
    }
    void decodes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QRgb>, expected);
        QFETCH(int, width);
        QImage want(width, int(expected.size()) / width, QImage::Format_ARGB32);
        for (int i = 0; i < expected.size(); ++i)
            want.setPixel(i % width, i / width, expected[i]);
        const QString path = m_dir.filePath(QStringLiteral("variant"));
        QVERIFY(testsupport::writeAll(path, bytes));
        importtest::verifyImportMatches(path, want, 0);
    }

    // A colour index beyond the colour map is a lying file.
    void tgaIndexOutsideColourMap()
    {
        const QByteArray bytes = tgaHeader(1, 16, 2, 24, 2, 1, 8, 0x20) + QByteArray("\1\2\3\4\5\6\x05\x10", 8);
        const QString path = m_dir.filePath(QStringLiteral("bad-index.tga"));
        QVERIFY(testsupport::writeAll(path, bytes));
        PictureRecord record;
        QCOMPARE(ImportPictureFile(testsupport::bytesOf(path), record), -1);
    }

    // Every format through each content check: each of ours claims its own files and nothing else.
    void contentChecksClaimTheirOwnOnly_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("owner");
        const auto row = [](const char* format, const char* owner) {
            QTest::newRow(format) << QStringLiteral("/usr/bin/convert source.png %1:out").arg(QLatin1String(format))
                                  << QString::fromLatin1(owner);
        };
        for (const char* format : {"PNG", "JPEG", "GIF", "BMP", "BMP3", "TIFF", "PPM", "PGM", "PBM", "PAM", "ICO",
                                   "CUR", "XPM", "XBM", "WBMP", "SGI", "RAS", "WEBP"})
            row(format, "");
        row("TGA", "tga");
        row("PCX", "pcx");
        QTest::newRow("ILBM") << QStringLiteral("/usr/bin/convert source.png PPM:- | ppmtoilbm > out")
                              << QStringLiteral("ilbm");
    }
    void contentChecksClaimTheirOwnOnly()
    {
        QFETCH(QString, command);
        QFETCH(QString, owner);
        REQUIRE_TOOL(QStringLiteral("convert"));
        QVERIFY(importtest::sourcePicture(QStringLiteral("colors16"), 9, 7).save(m_dir.filePath(QStringLiteral("source.png"))));
        if (!shell(QStringLiteral("cd '%1' && rm -f out && %2").arg(m_dir.path(), command)))
            QSKIP("this ImageMagick cannot write the format");
        const QByteArray bytes = testsupport::readAll(m_dir.filePath(QStringLiteral("out")));
        const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 std::size_t(bytes.size()));
        QCOMPARE(LooksLikeTga(span), owner == QLatin1String("tga"));
        QCOMPARE(LooksLikePcx(span), owner == QLatin1String("pcx"));
        QCOMPARE(LooksLikeIlbm(span), owner == QLatin1String("ilbm"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestImportVariants)
#include "tst_import_variants.moc"
