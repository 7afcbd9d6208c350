// An image directory plays exactly the frames "Encode animation" writes: pictures of different sizes
// at the top-left of one canvas, turned upright as their EXIF orientation says, files that are not
// pictures left out when the directory is opened, and files that fail to import left out when they are
// first shown. Only the frames drawn are converted into the screen's colours, never those written.

#include "EncodingWindow.h"

#include <QColorSpace>
#include <QTransform>
#include <QtTest>

using namespace quorvanta;
using namespace fixtures;
using testsupport::clearTransparent;
using testsupport::readAll;
using testsupport::writeAll;
using metadatatest::largestDifference;

namespace {

// Our own lines on standard error (the PNG reader may add its own).
int diagnostics(const QByteArray& said)
{
    int count = 0;
    for (const QByteArray& line : said.split('\n'))
        count += line.startsWith("quorvanta: ") ? 1 : 0;
    return count;
}

// A PNG whose chunks are all whole but whose pixel data is damaged: its size can be probed, its
// pixels cannot be imported (the chunk's checksum no longer matches).
bool writeCutPng(const QString& path, int width, int height)
{
    QTemporaryDir dir;
    const QString whole = dir.filePath("whole.png");
    if (!savePng(makePicture(width, height, false, 9), whole))
        return false;
    QByteArray bytes = readAll(whole);
    for (qsizetype i = bytes.size() / 2; i < bytes.size() / 2 + 8; ++i)
        bytes[i] = char(bytes[i] ^ 0x5A);
    return writeAll(path, bytes);
}

// The top-left `size` of a canvas of `canvasWidth` pixels.
QImage cornerOf(const std::vector<std::uint32_t>& canvas, int canvasWidth, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, canvas[std::size_t(y) * std::size_t(canvasWidth) + std::size_t(x)]);
    return image;
}

} // namespace

class TestDirectoryFrames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { REQUIRE_IMPORTER(); }

    // Pictures of three sizes (one with alpha), a text file and a PNG that only fails when it is
    // imported: once the list has settled, each frame shown equals the frame the file holds.
    void previewShowsWhatIsWritten_data() { addCodingRows(); }
    void previewShowsWhatIsWritten()
    {
        QFETCH(bool, lossless);
        QFETCH(bool, mixed);
        QFETCH(double, minPsnr);
        QTemporaryDir dir;
        const QString frames = dir.filePath("frames");
        QVERIFY(QDir().mkdir(frames));
        QVERIFY(savePng(makePicture(40, 30, true, 1), frames + "/a.png"));
        QVERIFY(savePng(makePicture(24, 36, false, 2), frames + "/b.png"));
        QVERIFY(writeAll(frames + "/c.txt", "not a picture"));
        QVERIFY(writeCutPng(frames + "/d.png", 64, 64));
        QVERIFY(savePng(makePicture(40, 36, false, 3), frames + "/e.png"));
        Window w;
        w.settings.losslessValue = lossless;
        w.settings.mixedValue = mixed;
        w.settings.qualityValue = 90;
        w.settings.durationText = QStringLiteral("80");

        testsupport::StderrCapture errors;
        w.view.send(MethodId::LoadDirectory, frames.toStdString());
        QCOMPARE(w.d().frameCount, 4); // c.txt is no frame
        // The canvas holds the largest width and height, the cut PNG's among them until it fails.
        QCOMPARE(QSize(int(w.d().width), int(w.d().height)), QSize(64, 64));
        for (std::int32_t n = 1; n <= w.d().frameCount; ++n)
            w.view.send(MethodId::ShowDirFrame, n);
        QCOMPARE(w.d().frameCount, 3);
        QCOMPARE(w.slider->maximum(), 3);
        const QByteArray said = errors.text();
        QCOMPARE(diagnostics(said), 2);
        QVERIFY(said.contains("/c.txt: ") && said.contains("/d.png: "));

        std::vector<std::vector<std::uint32_t>> preview;
        for (std::int32_t n = 1; n <= 3; ++n) {
            w.view.send(MethodId::ShowDirFrame, n);
            QCOMPARE(QSize(int(w.d().width), int(w.d().height)), QSize(40, 36));
            preview.push_back(clearTransparent(shownPixels(w.d())));
        }
        const QString target = dir.filePath("out.webp");
        w.answers = {chosen(target)};
        w.view.send(MethodId::SaveAnimation);
        const testsupport::DecodedAnimation written = decodeAnimationFile(target);
        QVERIFY(written.ok);
        QCOMPARE(QSize(written.width, written.height), QSize(40, 36));
        QCOMPARE(written.durations, (std::vector<int>{80, 80, 80}));
        const QString different = compareFrames(preview, written, minPsnr);
        QVERIFY2(different.isEmpty(), qPrintable(different));
    }

    // A JPEG tagged "turned a quarter" is played and written upright (with the setting on) on a canvas
    // of its upright size; a PNG with a Display P3 profile is drawn converted and written as stored.
    void framesUprightAndInScreenColours_data()
    {
        QTest::addColumn<bool>("apply");
        QTest::newRow("orientation applied") << true;
        QTest::newRow("setting off") << false;
    }
    void framesUprightAndInScreenColours()
    {
        QFETCH(bool, apply);
        REQUIRE_TOOL("exiftool");
        QTemporaryDir dir;
        const QString frames = dir.filePath("frames");
        QVERIFY(QDir().mkdir(frames));
        QImage blocks(24, 16, QImage::Format_ARGB32);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                blocks.setPixel(x, y, (x < 12) == (y < 8) ? qRgb(230, 20, 20) : qRgb(20, 20, 230));
        QVERIFY(blocks.save(frames + "/1.jpeg", "jpeg", 95));
        QVERIFY(metadatatest::exiftool({"-n", "-overwrite_original", "-Orientation=6", frames + "/1.jpeg"}));
        QImage wide = makePicture(10, 10, false, 4);
        wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(wide.save(frames + "/2.png"));

        Window w;
        w.settings.orientationValue = apply;
        w.settings.losslessValue = true;
        w.view.send(MethodId::LoadDirectory, frames.toStdString());
        const QSize canvas = apply ? QSize(16, 24) : QSize(24, 16);
        QCOMPARE(QSize(int(w.d().width), int(w.d().height)), canvas);
        const std::vector<std::uint32_t> first = shownPixels(w.d());
        const QImage shownFirst = cornerOf(first, canvas.width(), canvas);
        const QImage expected = apply ? blocks.transformed(QTransform().rotate(90)) : blocks;
        // The centre of each quarter, away from the edges JPEG blurs.
        for (int y = canvas.height() / 4; y < canvas.height(); y += canvas.height() / 2)
            for (int x = canvas.width() / 4; x < canvas.width(); x += canvas.width() / 2)
                QVERIFY2(largestDifference(shownFirst.copy(x, y, 1, 1), expected.copy(x, y, 1, 1)) < 24,
                         qPrintable(QStringLiteral("block at %1,%2").arg(x).arg(y)));
        w.view.send(MethodId::ShowDirFrame, 2);
        QImage convertedByQt = wide.convertToFormat(QImage::Format_ARGB32);
        convertedByQt.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
        QVERIFY(largestDifference(cornerOf(shownPixels(w.d()), canvas.width(), QSize(10, 10)), convertedByQt) <= 1);

        const QString target = dir.filePath("out.webp");
        w.answers = {chosen(target)};
        w.view.send(MethodId::SaveAnimation);
        const testsupport::DecodedAnimation written = decodeAnimationFile(target);
        QVERIFY(written.ok);
        QCOMPARE(QSize(written.width, written.height), canvas);
        QCOMPARE(written.frames.size(), std::size_t(2));
        QVERIFY(written.frames[0] == first);
        QCOMPARE(largestDifference(cornerOf(written.frames[1], canvas.width(), QSize(10, 10)), wide), 0);
    }

    // A file that fails only when imported leaves the list when it is first shown: the file after it
    // is shown in its place, or the first one when it was the last, and the slider follows.
    void failingFileLeavesTheList_data()
    {
        QTest::addColumn<QStringList>("names"); // "cut" fails when imported
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("picture"); // the file whose picture is then on show
        QTest::newRow("in the middle") << QStringList{"a", "cut", "c"} << 2 << 2 << "c";
        QTest::newRow("last") << QStringList{"a", "b", "cut"} << 3 << 1 << "a";
        QTest::newRow("two in a row") << QStringList{"a", "cut", "cut2", "d"} << 2 << 2 << "d";
        QTest::newRow("all of them") << QStringList{"cut", "cut2"} << 1 << 1 << ""; // found when opened
    }
    void failingFileLeavesTheList()
    {
        QFETCH(QStringList, names);
        QFETCH(int, asked);
        QFETCH(int, shown);
        QFETCH(QString, picture);
        QTemporaryDir dir;
        std::map<QString, QImage> pictures;
        for (int i = 0; i < names.size(); ++i) {
            const QString path = dir.filePath(QStringLiteral("%1-%2.png").arg(i).arg(names[i]));
            if (names[i].startsWith("cut")) {
                QVERIFY(writeCutPng(path, 12, 10));
            } else {
                pictures[names[i]] = makePicture(12, 10, false, quint32(i + 1));
                QVERIFY(savePng(pictures[names[i]], path));
            }
        }
        const int failing = int(names.filter("cut").size());
        Window w;
        testsupport::StderrCapture errors;
        w.view.send(MethodId::LoadDirectory, dir.path().toStdString()); // frame 1 is shown
        const std::vector<std::uint32_t> before = shownPixels(w.d());
        w.view.send(MethodId::GotoFrame, asked);
        const QByteArray said = errors.text();
        QVERIFY2(diagnostics(said) == failing, said.constData());
        QCOMPARE(w.d().frameCount, int(names.size()) - failing);
        QCOMPARE(w.slider->maximum(), int(names.size()) - failing);
        QCOMPARE(w.d().currentFrame, shown);
        if (shown != asked)
            QCOMPARE(w.slider->value(), shown); // moved to the frame shown instead
        if (picture.isEmpty()) {
            QVERIFY(shownPixels(w.d()) == before); // nothing left to show
            return;
        }
        QCOMPARE(w.view.displayImage().convertToFormat(QImage::Format_ARGB32), pictures[picture]);
    }
};

QTEST_MAIN(TestDirectoryFrames)
#include "tst_directoryframes.moc"
