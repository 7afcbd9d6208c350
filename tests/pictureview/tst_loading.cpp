// Loading files: reading them safely and once, sorting them by content, still WebP decoding compared
// with libwebp's own decoder, the panels, the busy pointer and the refusals of bad paths.

#include "ViewingFixtures.h"

#include "core/FileBytes.h"

#include "pictureview/BusyPointer.h"
#include "viewing/WebPFile.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using namespace viewingtest;

class TestLoading : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString path(const QString& name) const { return scratch.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        REQUIRE_TOOL("cwebp");
        REQUIRE_TOOL("dwebp");
        QVERIFY(scratch.isValid());
        QVERIFY(makeWebP(scratch.path(), "lossy.webp", makePicture(37, 23, 1, false), {"-q", "60"}));
        QVERIFY(makeWebP(scratch.path(), "lossy-alpha.webp", makePicture(41, 19, 2, true), {"-q", "70"}));
        QVERIFY(makeWebP(scratch.path(), "lossless-alpha.webp", makePicture(33, 17, 3, true),
                         {"-lossless", "-exact"}));
        QVERIFY(makeWebP(scratch.path(), "lossless.webp", makePicture(16, 9, 4, false), {"-lossless"}));
        QVERIFY(makePicture(12, 8, 5, false).save(path("picture.png")));
    }

    // Every kind of file is read whole and sorted by its content, whatever it is called.
    void readAndClassify_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("failure"); // -1: read
        QTest::addColumn<int>("kind");
        QTest::newRow("still WebP") << path("lossy.webp") << -1 << int(KindStill);
        QTest::newRow("PNG") << path("picture.png") << -1 << int(KindNotWebP);
        QTest::newRow("missing") << path("nothing-here.webp") << int(Failure::CantOpen) << int(KindNotWebP);
        QTest::newRow("directory") << scratch.path() << int(Failure::NotRegular) << int(KindNotWebP);
        QTest::newRow("device") << QStringLiteral("/dev/zero") << int(Failure::NotRegular) << int(KindNotWebP);
        // A pseudo file reports no size but has content: reading it would not be bounded by its size.
        QTest::newRow("pseudo file") << QStringLiteral("/proc/self/status") << int(Failure::ReadFailed)
                                     << int(KindNotWebP);
    }
    void readAndClassify()
    {
        QFETCH(QString, file);
        QFETCH(int, failure);
        QFETCH(int, kind);
        const FileBytes bytes = ReadWholeFile(testsupport::bytesOf(file));
        QCOMPARE(bytes.failure ? int(*bytes.failure) : -1, failure);
        if (bytes.ok())
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data.get()), qsizetype(bytes.size)),
                     testsupport::readAll(file));
        else
            QVERIFY(!bytes.data);
        QCOMPARE(bytes.ok() ? ClassifyFile(bytes.bytes()) : int(KindNotWebP), kind);
    }

    // The display buffer holds exactly what libwebp's reference decoder gives with the same settings
    // (in-loop filter off, plain upsampling), as RGB or ARGB as the file has alpha.
    void stillMatchesReference_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name : {"lossy.webp", "lossy-alpha.webp", "lossless-alpha.webp", "lossless.webp"})
            QTest::newRow(name) << path(QString::fromLatin1(name));
        const QString conformance = testsupport::conformanceDir();
        if (!conformance.isEmpty())
            for (const QString& name : QDir(conformance).entryList({"*.webp"}, QDir::Files, QDir::Name))
                QTest::newRow(qPrintable("conformance/" + name)) << conformance + '/' + name;
    }
    void stillMatchesReference()
    {
        QFETCH(QString, file);
        const std::optional<Pam> reference = referenceDecode(file, scratch.path());
        PictureView view;
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        const QByteArray printed = out.text();
        const InstanceData& d = view.state();
        if (reference) {
            QCOMPARE(d.mode, Mode::Still);
            QCOMPARE(d.fileSize, quint64(QFileInfo(file).size()));
            QCOMPARE(compareWithReference(d, *reference), QString());
            QVERIFY(!view.displayImage().isNull());
            QVERIFY(printed.isEmpty());
            return;
        }
        // A file libwebp refuses: either not recognised (then it went to the import, which printed the
        // message when it could not read it either, leaving the new object as it was) or recognised and
        // undecodable (a zero-filled buffer).
        QCOMPARE(d.mode, Mode::Still);
        if (printed.isEmpty()) {
            for (quint64 i = 0; d.pixels && i < d.pixels.size; ++i)
                QCOMPARE(d.pixels.data[i], uchar(0));
        } else {
            QCOMPARE(printed, QByteArray("Can't read the file!\n"));
            QVERIFY(d.path.empty());
        }
    }

    // A still is decoded in the layout the screen paints and drawn from the display buffer itself:
    // held once, opaque or not. An animation frame too, from the second frame on the same buffer.
    void drawnFromTheDisplayBufferItself_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("drawnAs");
        QTest::newRow("opaque lossy") << path("lossy.webp") << int(PixelFormat::OpaqueNative) << int(QImage::Format_RGB32);
        QTest::newRow("opaque lossless") << path("lossless.webp") << int(PixelFormat::OpaqueNative)
                                         << int(QImage::Format_RGB32);
        QTest::newRow("alpha") << path("lossy-alpha.webp") << int(PixelFormat::PremultipliedNative)
                               << int(QImage::Format_ARGB32_Premultiplied);
    }
    void drawnFromTheDisplayBufferItself()
    {
        QFETCH(QString, file);
        QFETCH(int, format);
        QFETCH(int, drawnAs);
        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        const InstanceData& d = view.state();
        QCOMPARE(int(d.pixelFormat), format);
        QCOMPARE(d.bytesPerRow, d.width * 4);
        const QImage& image = view.displayImage();
        QCOMPARE(int(image.format()), drawnAs);
        QCOMPARE(image.size(), QSize(int(d.width), int(d.height)));
        QCOMPARE(static_cast<const void*>(image.constBits()), static_cast<const void*>(d.pixels.data.get()));
    }

    // A WebP file's name plays no part, and a PNG called .webp goes to the picture import.
    void kindByContentNotName()
    {
        QVERIFY(QFile::copy(path("lossless-alpha.webp"), path("really-webp.png")));
        QVERIFY(QFile::copy(path("picture.png"), path("really-png.webp")));
        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(path("really-webp.png")));
        QCOMPARE(view.state().mode, Mode::Still);
        QCOMPARE(view.state().pixelFormat, PixelFormat::PremultipliedNative);
        QCOMPARE(view.state().bytesPerRow, 33u * 4);

        bool importShown = false;
        connect(&view, &PictureView::methodReceived, this,
                [&](MethodId id) { importShown |= id == MethodId::ShowImported; });
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(path("really-png.webp")));
        const QByteArray printed = out.text();
        QCOMPARE(view.state().mode, importShown ? Mode::Imported : Mode::Still);
        // Whether the import can read PNG is the import's business; the two outcomes must not mix.
        QCOMPARE(printed, importShown ? QByteArray() : QByteArray("Can't read the file!\n"));
        QCOMPARE(view.state().importStatus, importShown ? 1 : 0);
    }

    // A truncated file whose header is sound: its size is known, the decode fails, and the buffer
    // shows nothing of a half-decoded picture.
    void truncatedStill()
    {
        const QByteArray whole = testsupport::readAll(path("lossy.webp"));
        QVERIFY(testsupport::writeAll(path("truncated.webp"), whole.left(whole.size() * 2 / 3)));
        PictureView view;
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(path("truncated.webp")));
        QVERIFY(out.text().isEmpty());
        const InstanceData& d = view.state();
        QCOMPARE(d.mode, Mode::Still);
        QCOMPARE(d.width, 37u);
        QCOMPARE(d.height, 23u);
        QCOMPARE(d.pixels.size, quint64(37 * 23 * 4));
        for (quint64 i = 0; i < d.pixels.size; ++i)
            QCOMPARE(d.pixels.data[i], uchar(0));
    }

    // Paths that can't be read are refused at once, with the message exactly once, and leave the
    // picture on show and the panels as they were.
    void badPathsRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << path("missing.webp");
        QTest::newRow("directory") << scratch.path();
        QTest::newRow("device") << QStringLiteral("/dev/zero");
        QTest::newRow("fifo") << path("fifo");
        QTest::newRow("unreadable") << path("unreadable.webp");
        QTest::newRow("read error") << QStringLiteral("/proc/self/mem");
        QTest::newRow("empty") << path("empty.webp");
        QTest::newRow("broken WebP header") << path("broken.webp");
    }
    void badPathsRefused()
    {
        QFETCH(QString, file);
        if (file.endsWith("fifo") && !QFileInfo::exists(file))
            QCOMPARE(::mkfifo(qPrintable(file), 0600), 0);
        if (file.endsWith("unreadable.webp")) {
            QVERIFY(QFile::copy(path("lossy.webp"), file));
            ::chmod(qPrintable(file), 0);
            if (::geteuid() == 0)
                QSKIP("running as root: permissions do not keep root from reading");
        }
        if (file.endsWith("empty.webp"))
            QVERIFY(testsupport::writeAll(file, {}));
        if (file.endsWith("broken.webp")) { // a RIFF WebP header over a frame header libwebp refuses
            QByteArray bytes = testsupport::readAll(path("lossy.webp"));
            bytes.replace(20, 10, QByteArray(10, '\xff'));
            QVERIFY(testsupport::writeAll(file, bytes));
        }

        Window window;
        PictureView view;
        window.attach(view);
        view.send(MethodId::Load, testsupport::bytesOf(path("lossless.webp")));
        const std::uint8_t* before = view.state().pixels.data.get();
        window.encodePicturePanel->setVisible(true); // as left by some earlier import
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(out.text(), QByteArray("Can't read the file!\n"));
        QCOMPARE(view.state().mode, Mode::Still); // what was on show stays
        QCOMPARE(view.state().pixels.data.get(), before);
        QCOMPARE(view.state().width, 16u);
        QVERIFY(Window::shown(window.encodePicturePanel));
        QVERIFY(!BusyPointer::active());
    }

    // A second WebP replaces the first file's bytes; the busy pointer is on while the picture is
    // decoded and off afterwards.
    void secondFileReplacesFirst()
    {
        PictureView view;
        bool busyWhileDecoding = false;
        connect(&view, &PictureView::methodReceived, this,
                [&](MethodId id) { busyWhileDecoding |= id == MethodId::DecodeStill && BusyPointer::active(); });
        view.send(MethodId::Load, testsupport::bytesOf(path("lossy.webp")));
        QVERIFY(busyWhileDecoding);
        view.send(MethodId::Load, testsupport::bytesOf(path("lossless-alpha.webp")));
        const InstanceData& d = view.state();
        const QByteArray second = testsupport::readAll(path("lossless-alpha.webp"));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d.fileData.get()), qsizetype(d.fileSize)), second);
        QCOMPARE(d.path, testsupport::bytesOf(path("lossless-alpha.webp")));
        QVERIFY(!BusyPointer::active());
    }

    // Which panels each kind of file shows; loading a still leaves playback as it was.
    void panelsFollowTheKind()
    {
        REQUIRE_TOOL("img2webp");
        QVERIFY(makePicture(16, 9, 6, false).save(path("second.png")));
        QVERIFY(testsupport::run("img2webp", {"-lossless", path("lossless.webp.src.png"), path("second.png"),
                                              "-o", path("two-frames.webp")}));
        Window window;
        PictureView view;
        window.attach(view);
        window.slider->setValue(7);
        window.sliderSignals = 0;
        view.send(MethodId::Load, testsupport::bytesOf(path("two-frames.webp")));
        QCOMPARE(view.state().mode, Mode::Animated);
        QVERIFY(!Window::shown(window.encodePicturePanel));
        QVERIFY(Window::shown(window.encodeAnimationPanel)); // it can be encoded again
        QVERIFY(Window::shown(window.animationBar));
        QCOMPARE(window.slider->value(), 1);
        QCOMPARE(window.slider->maximum(), 2);
        QCOMPARE(window.sliderSignals, 0);
        QVERIFY(view.state().inputHandlerAdded);

        view.send(MethodId::Load, testsupport::bytesOf(path("lossy.webp")));
        QCOMPARE(view.state().mode, Mode::Still);
        QVERIFY(!Window::shown(window.animationBar));
        QVERIFY(view.state().inputHandlerAdded);
        QCOMPARE(view.state().backgroundColor, 0xFFFFFFFFu);
    }
};

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
