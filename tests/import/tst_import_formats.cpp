// Pictures written by Debian's tools import with the same size and the same pixels, by content.

#include "ImportFixtures.h"

#include <QDir>
#include <QImageReader>

using namespace quorvanta;
using importtest::shell;
using importtest::sourcePicture;
using importtest::verifyImportMatches;

class TestImportFormats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL(QStringLiteral("convert"));
        QVERIFY(m_dir.isValid());
    }

    // Each row: the source drawn in code, a shell command that writes $OUT from $SRC (PNG) or $PPM,
    // optionally a reference $REF to compare with instead of the source, the name the file gets,
    // and how far a channel may be off (lossy formats only).
    void roundTrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("tolerance");
        const auto row = [](const char* name, const char* kind, const char* command, const char* file = "picture",
                            int tolerance = 0) {
            QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(command)
                                << QString::fromLatin1(file) << tolerance;
        };
        row("png rgba", "rgba", "/usr/bin/convert $SRC PNG32:$OUT");
        row("png 16 colours, one transparent", "colors16a", "/usr/bin/convert $SRC PNG8:$OUT");
        row("jpeg", "rgb", "/usr/bin/convert $SRC -quality 95 JPEG:$OUT", "picture", 16);
        row("bmp 24-bit", "rgb", "/usr/bin/convert $SRC BMP3:$OUT");
        row("bmp 32-bit alpha", "rgba", "/usr/bin/convert $SRC BMP:$OUT");
        row("bmp 8-bit palette", "colors16", "/usr/bin/convert $SRC -type Palette BMP3:$OUT");
        row("gif, transparent colour", "colors16a", "/usr/bin/convert $SRC GIF:$OUT");
        // Qt's TIFF reader goes through premultiplied pixels, which costs colour precision where
        // alpha is low; half to full alpha keeps it within one step.
        row("tiff rgba lzw", "rgbahalf", "/usr/bin/convert $SRC -compress LZW TIFF:$OUT", "picture", 1);
        row("tiff grey", "grey", "/usr/bin/convert $SRC -type Grayscale TIFF:$OUT");
        row("ppm", "rgb", "/usr/bin/convert $SRC PPM:$OUT");
        row("ppm 16-bit", "rgb", "/usr/bin/convert $SRC -depth 16 PPM:$OUT");
        row("pgm", "grey", "/usr/bin/convert $SRC PGM:$OUT");
        row("pbm", "bilevel", "/usr/bin/convert $SRC PBM:$OUT");
        // PCX, ours
        row("pcx 24-bit", "rgb", "/usr/bin/convert $SRC PCX:$OUT");
        row("pcx 32-bit alpha", "rgba", "/usr/bin/convert $SRC PCX:$OUT");
        row("pcx 8-bit palette", "colors16", "/usr/bin/convert $SRC -type Palette PCX:$OUT");
        row("pcx mono", "bilevel", "/usr/bin/convert $SRC -type Bilevel PCX:$OUT");
        row("pcx 1-bit, 4 planes", "colors16", "ppmtopcx -planes 4 < $PPM > $OUT");
        row("pcx 1-bit, 2 planes", "colors4", "ppmtopcx -planes 2 < $PPM > $OUT");
        row("pcx 1-bit, 3 planes", "colors4", "ppmtopcx -planes 3 < $PPM > $OUT");
        row("pcx 2-bit packed", "colors4", "ppmtopcx -packed < $PPM > $OUT");
        row("pcx 4-bit packed", "colors16", "ppmtopcx -packed < $PPM > $OUT");
        row("pcx 8-bit (netpbm)", "colors16", "ppmtopcx -8bit < $PPM > $OUT");
        row("pcx 24-bit (netpbm)", "rgb", "ppmtopcx -24bit < $PPM > $OUT");
        // TGA, ours
        row("tga 32-bit alpha", "rgba", "/usr/bin/convert $SRC -orient TopLeft -compress None TGA:$OUT");
        row("tga 32-bit alpha rle", "rgba", "/usr/bin/convert $SRC -orient TopLeft -compress RLE TGA:$OUT");
        row("tga 24-bit", "rgb", "/usr/bin/convert $SRC -orient TopLeft -compress None TGA:$OUT");
        row("tga colour-mapped", "colors16", "/usr/bin/convert $SRC -orient TopLeft -type Palette TGA:$OUT");
        row("tga colour-mapped rle", "colors16", "/usr/bin/convert $SRC -orient TopLeft -type Palette -compress RLE TGA:$OUT");
        row("tga grey", "grey", "/usr/bin/convert $SRC -orient TopLeft -type Grayscale TGA:$OUT");
        row("tga grey rle", "grey", "/usr/bin/convert $SRC -orient TopLeft -type Grayscale -compress RLE TGA:$OUT");
        row("tga bottom-left rle", "rgb", "pamtotga -rgb < $PPM > $OUT");
        row("tga bottom-left raw", "rgb", "pamtotga -rgb -norle < $PPM > $OUT");
        row("tga bottom-left colour-mapped", "colors16", "pamtotga -cmap < $PPM > $OUT");
        row("tga bottom-left grey", "grey", "pamtotga -mono < $PPM > $OUT");
        // IFF ILBM, ours
        row("ilbm 16 colours", "colors16", "ppmtoilbm < $PPM > $OUT");
        row("ilbm 1 plane", "bilevel", "ppmtoilbm < $PPM > $OUT");
        row("ilbm 8 planes uncompressed", "colors16", "ppmtoilbm -fp 8 -nocompress < $PPM > $OUT");
        row("ilbm 24-bit", "rgb", "ppmtoilbm -24force < $PPM > $OUT");
        row("ilbm ham6", "rgb", "ppmtoilbm -ham6 < $PPM > $OUT && ilbmtoppm < $OUT | pnmtopng > $REF");
        row("ilbm ham8", "rgb", "ppmtoilbm -ham8 < $PPM > $OUT && ilbmtoppm < $OUT | pnmdepth 255 | pnmtopng > $REF",
            "picture", 3);
        // The name says nothing: the content decides.
        row("png named .webp", "rgba", "/usr/bin/convert $SRC PNG32:$OUT", "picture.webp");
        row("tga named .png", "rgba", "/usr/bin/convert $SRC -orient TopLeft TGA:$OUT", "picture.png");
        row("pcx named .jpg", "rgb", "/usr/bin/convert $SRC PCX:$OUT", "picture.jpg");
        row("ilbm named .gif", "colors16", "ppmtoilbm < $PPM > $OUT", "picture.gif");
        row("jpeg named .tga", "rgb", "/usr/bin/convert $SRC JPEG:$OUT", "picture.tga", 16);
        row("bmp without extension", "rgb", "/usr/bin/convert $SRC BMP3:$OUT", "picture");
    }
    void roundTrip()
    {
        QFETCH(QString, kind);
        QFETCH(QString, command);
        QFETCH(QString, fileName);
        QFETCH(int, tolerance);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString dir = m_dir.filePath(tag.left(40).remove(QLatin1Char(',')));
        QVERIFY(QDir().mkpath(dir));
        const QImage source = sourcePicture(kind);
        const QString src = dir + QStringLiteral("/source.png");
        const QString ppm = dir + QStringLiteral("/source.ppm");
        const QString out = dir + QLatin1Char('/') + fileName;
        const QString ref = dir + QStringLiteral("/reference.png");
        QVERIFY(source.save(src, "PNG"));
        QVERIFY(shell(QStringLiteral("/usr/bin/convert '%1' -alpha off PPM:'%2'").arg(src, ppm)));
        QString line = command;
        line.replace(QStringLiteral("$SRC"), QLatin1Char('\'') + src + QLatin1Char('\''))
            .replace(QStringLiteral("$PPM"), QLatin1Char('\'') + ppm + QLatin1Char('\''))
            .replace(QStringLiteral("$OUT"), QLatin1Char('\'') + out + QLatin1Char('\''))
            .replace(QStringLiteral("$REF"), QLatin1Char('\'') + ref + QLatin1Char('\''));
        QVERIFY2(shell(line), qPrintable(line));
        const QImage expected = QFileInfo::exists(ref) ? QImage(ref) : source;
        QVERIFY(!expected.isNull());
        verifyImportMatches(out, expected, tolerance);
    }

    // The public conformance pictures in PNG, BMP, PPM and TIFF show the same grid; the PGM holds
    // the grid's YUV planes stacked, so only its size is known. PAM is left out: Qt has no reader for it.
    void conformancePictures()
    {
        REQUIRE_CONFORMANCE_DIR();
        const QDir dir(testsupport::conformanceDir());
        const QImage grid(dir.filePath(QStringLiteral("grid.png")));
        QVERIFY(!grid.isNull());
        for (const char* name : {"grid.png", "grid.bmp", "grid.ppm", "grid.tiff"}) {
            const bool opaque = QByteArray(name).endsWith(".ppm");
            verifyImportMatches(dir.filePath(QLatin1String(name)),
                                opaque ? grid.convertToFormat(QImage::Format_RGB32) : grid, 0);
            if (QTest::currentTestFailed())
                QFAIL(name);
        }
        PictureRecord record;
        QCOMPARE(ImportPictureFile(testsupport::bytesOf(dir.filePath(QStringLiteral("grid.pgm"))), record), 1);
        QCOMPARE(QSize(int(record.width), int(record.height)),
                 QImageReader(dir.filePath(QStringLiteral("grid.pgm"))).size());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestImportFormats)
#include "tst_import_formats.moc"
