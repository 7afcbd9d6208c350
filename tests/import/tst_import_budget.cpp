// Decompression bombs: small files that declare pictures far over the decode budget are refused with
// a message naming their size before anything is allocated, or, for JPEG, decoded reduced.

#include "Bombs.h"
#include "ImportFixtures.h"

#include "core/DecodeBudget.h"
#include "import/DecodePicture.h"

#include <QBuffer>
#include <QtTest>

using namespace quorvanta;

namespace {

QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF)); }

QByteArray tgaRleZeros(int w, int h)
{
    QByteArray header("\0\0\x0a\0\0\0\0\0\0\0\0\0", 12);
    header += le16(w) + le16(h) + QByteArray("\x18\x20", 2);
    const qint64 packets = (qint64(w) * h + 127) / 128;
    return header + QByteArray("\xff\0\0\0", 4).repeated(int(packets));
}

} // namespace

class TestImportBudget : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { SetDecodeBudgetMiB(16); }
    void cleanup() { SetDecodeBudgetBytes(0); }

    void messageFormat()
    {
        const BudgetCheck check = CheckDecodeBudget(32768, 32768, 4, 1, kGiB);
        QVERIFY(!check);
        QCOMPARE(QString::fromStdString(check.message),
                 QStringLiteral("32768 x 32768 needs 4.0 GiB; the limit is 1.0 GiB (Settings)"));
        QVERIFY(!CheckDecodeBudget(UINT64_MAX, UINT64_MAX, 4)); // overflow does not wrap to a small size
        QVERIFY(CheckDecodeBudget(2048, 2048, 4)); // exactly 16 MiB fits
        QVERIFY(DefaultDecodeBudgetBytes() <= kGiB && DefaultDecodeBudgetBytes() > 0);
    }

    void bombsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("size");
        QTest::newRow("pgm") << QByteArray("P5\n20000 20000\n255\n") + QByteArray(16, '\0') << "20000 x 20000";
        QTest::newRow("ppm") << QByteArray("P6\n30000 30000\n255\n") + QByteArray(16, '\0') << "30000 x 30000";
        QTest::newRow("gif screen") << QByteArray("GIF89a\x48\x34\x0a\x31\0\0\0", 13) +
                                           QByteArray(",\0\0\0\0\x48\x34\x0a\x31\0\x02\x02\x4c\x01\0;", 17)
                                    << "13384 x 12554";
        QTest::newRow("tga rle zeros") << tgaRleZeros(8000, 8000) << "8000 x 8000";
    }
    void bombsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, size);
        PictureRecord record;
        ImportReport report;
        const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 std::size_t(bytes.size()));
        QCOMPARE(ImportPictureBytes(span, record, &report), -1);
        QVERIFY(!record.pixels);
        QVERIFY2(QString::fromStdString(report.message).startsWith(size + " needs "), report.message.c_str());
        QVERIFY(QString::fromStdString(report.message).endsWith("the limit is 16.0 MiB (Settings)"));
    }

    // A PNG chunk whose length runs past the end of the file is refused before libpng allocates what
    // the length says (found by fuzzing: a 292-byte file asked for 512 MiB).
    void pngChunkPastTheEnd_data()
    {
        QTest::addColumn<bool>("beforePixels");
        QTest::newRow("before the pixels") << true;
        QTest::newRow("after the pixels") << false;
    }
    void pngChunkPastTheEnd()
    {
        QFETCH(bool, beforePixels);
        QByteArray png = bombs::png(4, 4, true);
        PictureRecord record;
        const auto import = [&record](const QByteArray& bytes) {
            return ImportPictureBytes({reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
                                      record);
        };
        QCOMPARE(import(png), 1);
        const QByteArray text = QByteArray("\x20\0\0\x25tEXtdate", 12) + QByteArray(30, 'x');
        png.insert(beforePixels ? png.indexOf("IDAT") - 4 : png.indexOf("IEND") - 4, text);
        // The peak is set back to what is resident now, where the kernel allows it.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        const bool peakReset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        const qint64 before = testsupport::statusBytes("VmRSS");
        QCOMPARE(import(png), -1);
        if (peakReset)
            QVERIFY2(testsupport::statusBytes("VmHWM") - before < 64 * qint64(kMiB),
                     qPrintable(QString::number(testsupport::statusBytes("VmHWM") - before)));
    }

    // A stop flag that is set ends a decode through Qt's readers as a failure; unset, it changes nothing.
    void stopFlagEndsTheDecode()
    {
        QImage source(300, 200, QImage::Format_RGB32);
        source.fill(Qt::darkCyan);
        QByteArray png;
        QBuffer out(&png);
        QVERIFY(out.open(QIODevice::WriteOnly) && source.save(&out, "PNG"));
        const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(png.constData()),
                                                 std::size_t(png.size()));
        std::atomic<bool> stop{true};
        PictureRecord record;
        QCOMPARE(ImportPictureBytes(span, record, nullptr, kDefaultReducedArea, &stop), -1);
        QVERIFY(!record.pixels);
        stop = false;
        QCOMPARE(ImportPictureBytes(span, record, nullptr, kDefaultReducedArea, &stop), 1);
        QCOMPARE(record.width, 300u);
        QCOMPARE(record.pixels[0], 0xFF008080u);
    }

    void jpegShownReduced()
    {
        QImage source(4000, 3000, QImage::Format_RGB32);
        source.fill(Qt::darkGreen);
        QByteArray jpeg;
        QBuffer out(&jpeg);
        QVERIFY(out.open(QIODevice::WriteOnly) && source.save(&out, "JPEG"));
        const DecodedPicture picture =
            DecodePicture({reinterpret_cast<const std::uint8_t*>(jpeg.constData()), std::size_t(jpeg.size())},
                          1920ull * 1080ull);
        QCOMPARE(picture.status, DecodedPicture::Status::Decoded);
        QVERIFY(picture.scalePercent < 100);
        QVERIFY(std::uint64_t(picture.width) * picture.height <= 1920ull * 1080ull);
        QVERIFY(picture.width > 1000);
    }
};

QTEST_MAIN(TestImportBudget)
#include "tst_import_budget.moc"
