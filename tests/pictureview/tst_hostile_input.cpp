// Files made to hurt: tiny and cut files, headers that claim huge pictures, thousands of frames, frames
// off the canvas, picture bombs, strange paths and files that change after they were read. Each must be
// shown, or refused silently or with the one message, and never crash, hang or read out of bounds
// (the sanitizer build checks the last).

#include "ViewingFixtures.h"
#include "PictureFixtures.h"
#include "WebPBuilder.h"

#include "pictureview/BusyPointer.h"
#include "viewing/WebPFile.h"

#include <webp/demux.h>

#include <QDir>
#include <QFile>
#include <QtTest>

#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using namespace viewingtest;
using namespace webpbuild;
using fixtures::premultiplied;
using fixtures::shownPixels;
using fixtures::shownPremultiplied;

namespace {

const QByteArray kCantRead = "Can't read the file!\n";

// What the loader must do with `bytes`: libwebp itself is the oracle for the kind of file, whether a
// still decodes and whether an animation demuxes.
struct Expected {
    int kind = KindNotWebP;
    bool stillDecodes = false;
    int frames = -1; // -1 when the demuxer refuses the file
};

Expected expectedFor(const QByteArray& bytes)
{
    Expected e;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    e.kind = ClassifyFile({data, std::size_t(bytes.size())});
    int w = 0, h = 0;
    if (e.kind == KindStill) {
        if (std::uint8_t* rgba = WebPDecodeRGBA(data, std::size_t(bytes.size()), &w, &h)) {
            e.stillDecodes = true;
            WebPFree(rgba);
        }
    }
    const WebPData webp{data, std::size_t(bytes.size())};
    if (WebPDemuxer* demux = WebPDemux(&webp)) {
        e.frames = int(WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT));
        WebPDemuxDelete(demux);
    }
    return e;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
    return out;
}

bool allZero(const DisplayBuffer& pixels)
{
    static const std::array<std::uint8_t, 65536> zeros{};
    for (std::uint64_t at = 0; at < pixels.size; at += zeros.size())
        if (std::memcmp(pixels.data.get() + at, zeros.data(), std::min<std::uint64_t>(zeros.size(), pixels.size - at)))
            return false;
    return true;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    QString path(const QString& name) const { return scratch.filePath(name); }

    // Loads `bytes` from a file into `view` and checks the reaction against what libwebp says of them.
    // `refused`, when given, tells whether the file was turned away as unreadable.
    void loadAndCheck(PictureView& view, const QByteArray& bytes, const QString& label, bool* refused = nullptr)
    {
        const QString file = path(QStringLiteral("hostile.webp"));
        QVERIFY(testsupport::writeAll(file, bytes));
        const Expected e = expectedFor(bytes);
        const Mode modeBefore = view.state().mode;
        const std::string pathBefore = view.state().path;
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        const QByteArray printed = out.text();
        const InstanceData& d = view.state();
        if (refused)
            *refused = printed == kCantRead;
        QVERIFY2(!BusyPointer::active(), qPrintable(label));
        if (e.kind == KindNotWebP) {
            // Not a picture: what was on show stays.
            QVERIFY2(printed == kCantRead, qPrintable(label));
            QCOMPARE(d.mode, modeBefore);
            QCOMPARE(d.path, pathBefore);
        } else if (e.kind == KindStill) {
            QVERIFY2(printed.isEmpty(), qPrintable(label));
            QCOMPARE(d.mode, Mode::Still);
            if (d.pixels) {
                QCOMPARE(d.pixels.size, quint64(d.width) * d.height * 4);
                if (!e.stillDecodes)
                    QVERIFY2(allZero(d.pixels), qPrintable(label + ": half a picture shown"));
            }
        } else if (printed == kCantRead) {
            // An animation is played only as a whole; one that is refused leaves what was on show.
            QCOMPARE(d.mode, modeBefore);
            QCOMPARE(d.path, pathBefore);
        } else {
            QVERIFY2(printed.isEmpty(), qPrintable(label));
            QVERIFY2(e.frames > 0, qPrintable(label + ": an animation without frames was taken"));
            QCOMPARE(d.mode, Mode::Animated);
            QVERIFY2(d.frameCount == e.frames, qPrintable(QStringLiteral("%1: %2 frames, demuxer %3")
                                                               .arg(label).arg(d.frameCount).arg(e.frames)));
            if (d.frameCount > 0 && d.pixels)
                QCOMPARE(d.pixels.size, quint64(d.width) * d.height * 4);
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(scratch.isValid()); }

    // Files of a few bytes, and headers with nothing behind them.
    void tinyFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("one byte") << QByteArray("R");
        QTest::newRow("one zero byte") << QByteArray(1, '\0');
        QTest::newRow("RIFF only") << QByteArray("RIFF");
        QTest::newRow("RIFF header") << QByteArray("RIFF\x04\0\0\0WEBP", 12);
        QTest::newRow("RIFF size far too large") << QByteArray("RIFF\xff\xff\xff\xffWEBPVP8L", 16);
        QTest::newRow("extended, nothing behind") << riff(vp8x(0, 16, 16));
        QTest::newRow("animation without frames") << riff(vp8x(kAnimation, 16, 16) + anim());
        QTest::newRow("animation canvas 2^24 squared, no frames")
            << riff(vp8x(kAnimation | kAlpha, 1u << 24, 1u << 24) + anim());
        QTest::newRow("lossless header only") << riff(chunk("VP8L", QByteArray("\x2f\0\0\0\0", 5)));
    }
    void tinyFiles()
    {
        QFETCH(QByteArray, bytes);
        PictureView view;
        loadAndCheck(view, bytes, QString::fromLatin1(QTest::currentDataTag()));
    }

    // A file cut at each chunk boundary is refused or shown as far as the container allows, and a
    // still never shows half a picture. One picture object takes all the cuts in a row, so each load
    // also replaces what the previous cut left.
    void truncatedAtEveryChunkBoundary_data()
    {
        QTest::addColumn<QByteArray>("whole");
        REQUIRE_TOOL("cwebp");
        QVERIFY(makeWebP(scratch.path(), "alpha-lossy.webp", makePicture(29, 17, 7, true), {"-q", "70"}));
        QTest::newRow("still, alpha and lossy image") << testsupport::readAll(path("alpha-lossy.webp"));
        QTest::newRow("still, lossless") << losslessFile(9, 5, 0xFF336699, true);
        std::vector<MuxFrame> frames;
        for (int i = 0; i < 4; ++i)
            frames.push_back({losslessFile(4 + i, 3, 0xFF102030u * std::uint32_t(i + 1), i % 2 == 0), 2 * i,
                              2 * (i % 2), 20 + i, i == 1, i != 2});
        QTest::newRow("animation") << muxAnimation(frames, 16, 8, 3);
    }
    void truncatedAtEveryChunkBoundary()
    {
        QFETCH(QByteArray, whole);
        QVERIFY(!whole.isEmpty());
        const QList<qsizetype> cuts = chunkBoundaries(whole);
        QVERIFY(cuts.size() >= 5);
        PictureView view;
        for (qsizetype cut : cuts)
            for (qsizetype at : {cut - 1, cut, cut + 1})
                loadAndCheck(view, whole.left(at), QStringLiteral("cut at %1 of %2").arg(at).arg(whole.size()));
        loadAndCheck(view, whole, QStringLiteral("whole file"));
        QVERIFY(view.state().mode == Mode::Still ? view.state().pixels && !allZero(view.state().pixels)
                                               : view.state().frameCount > 0);
    }

    // A 30-byte lossless file whose header claims 16383 x 16383 pixels: libwebp's lossless decoder
    // would hold a full-size picture of its own besides ours, 2 GiB in all, which is over the default
    // budget: refused by its size before anything is touched, and what was on show stays.
    void headerClaimsHugePicture()
    {
        QByteArray header("\x2f", 1);
        header += le(16382u | 16382u << 14, 4); // width - 1 and height - 1 in 14 bits each, no alpha
        const QByteArray bytes = riff(chunk("VP8L", header + QByteArray(8, '\x55')));
        const QString file = path(QStringLiteral("huge.webp"));
        QVERIFY(testsupport::writeAll(file, bytes));
        PictureView view;
        QSignalSpy failed(&view, &PictureView::failed);
        const qint64 residentBefore = testsupport::residentBytes();
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(out.text(), kCantRead);
        const qint64 grown = testsupport::residentBytes() - residentBefore;
        qInfo("resident memory after the refused 16383 x 16383 file: %+lld MiB", grown >> 20);
        QVERIFY2(grown < (qint64(64) << 20), "memory was touched for a refused picture");
        QCOMPARE(failed.count(), 1);
        const auto problem = failed.at(0).at(0).value<Problem>();
        QCOMPARE(problem.failure, Failure::OverBudget);
        QVERIFY2(QString::fromStdString(problem.detail).startsWith("16383 x 16383 needs 2.0 GiB; the limit is "),
                 problem.detail.c_str());
        const InstanceData& d = view.state();
        QCOMPARE(d.width, 100u);
        QVERIFY(!d.pixels);
    }

    // Ten thousand tiny blended frames and no key frame after the first: jumping to the last composes
    // them all, and the canvas matches libwebp's own animation decoder.
    void tenThousandFrames()
    {
        const QByteArray red = losslessFile(2, 2, 0x80FF0000, true);
        const QByteArray green = losslessFile(2, 2, 0xC000FF00, true);
        std::vector<MuxFrame> frames;
        frames.reserve(10000);
        for (int i = 0; i < 10000; ++i)
            frames.push_back({i % 3 ? red : green, (i % 2) * 2, (i / 2 % 2) * 2, 1 + i % 7, false, true});
        const QByteArray bytes = muxAnimation(frames, 4, 4, 0);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(testsupport::writeAll(path("ten-thousand.webp"), bytes));

        Window window;
        PictureView view;
        window.attach(view);
        view.send(MethodId::Load, testsupport::bytesOf(path("ten-thousand.webp")));
        QCOMPARE(view.state().frameCount, 10000);
        QCOMPARE(window.slider->maximum(), 10000);
        view.send(MethodId::ShowAnimFrame, 10000);
        view.send(MethodId::ShowAnimFrame, 5000);

        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        options.color_mode = MODE_RGBA;
        const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
        QVERIFY(decoder);
        std::uint8_t* rgba = nullptr;
        int timestamp = 0;
        for (int i = 0; i < 5000; ++i)
            QVERIFY(WebPAnimDecoderGetNext(decoder, &rgba, &timestamp));
        const InstanceData& d = view.state();
        QCOMPARE(d.pixels.size, quint64(64));
        const std::vector<std::uint32_t> shown = shownPremultiplied(d);
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* q = rgba + i * 4;
            QCOMPARE(shown[std::size_t(i)], premultiplied(std::uint32_t(q[3]) << 24 | std::uint32_t(q[0]) << 16 |
                                                          std::uint32_t(q[1]) << 8 | q[2]));
        }
        WebPAnimDecoderDelete(decoder);
    }

    // Frames that lie partly or wholly off the canvas, or whose bitstream is not the size their frame
    // header says, are written by hand: no encoder makes them.
    void framesOutsideTheCanvas_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("unreadable"); // a frame that can't be placed makes the whole file so
        const QByteArray px4 = imageChunk(losslessFile(4, 4, 0xFF0000FF));
        const QByteArray px2 = imageChunk(losslessFile(2, 2, 0x80FFFF00, true));
        const auto animation = [](std::uint32_t w, std::uint32_t h, const QByteArray& frames) {
            return riff(vp8x(kAnimation | kAlpha, w, h) + anim() + frames);
        };
        QTest::newRow("partly off the right edge")
            << animation(4, 4, anmf(0, 0, 4, 4, 10, false, false, px4) + anmf(2, 0, 4, 4, 10, false, true, px4)) << true;
        QTest::newRow("wholly below the canvas")
            << animation(4, 4, anmf(0, 0, 4, 4, 10, false, false, px4) + anmf(0, 8, 2, 2, 10, true, true, px2)) << true;
        QTest::newRow("larger than the canvas") << animation(2, 2, anmf(0, 0, 4, 4, 10, false, false, px4)) << true;
        QTest::newRow("offset at the 24-bit limit")
            << animation(4, 4, anmf(0xFFFFFE, 0xFFFFFE, 2, 2, 10, false, true, px2)) << true;
        QTest::newRow("header says 4 x 4, bitstream is 2 x 2")
            << animation(4, 4, anmf(0, 0, 4, 4, 10, false, false, px4) + anmf(0, 0, 4, 4, 10, true, true, px2)) << false;
        QTest::newRow("header says 2 x 2, bitstream is 4 x 4")
            << animation(4, 4, anmf(0, 0, 2, 2, 10, true, false, px4) + anmf(2, 2, 2, 2, 10, false, true, px2)) << false;
        QTest::newRow("frame without image") << animation(4, 4, anmf(0, 0, 2, 2, 10, false, true, {})) << true;
    }
    void framesOutsideTheCanvas()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, unreadable);
        Window window;
        PictureView view;
        window.attach(view);
        bool refused = false;
        loadAndCheck(view, bytes, QString::fromLatin1(QTest::currentDataTag()), &refused);
        QCOMPARE(refused, unreadable);
        for (int frame : {2, 1, 2, 3, 0, -1})
            view.send(MethodId::ShowAnimFrame, frame);
        if (view.state().frameCount > 0)
            QCOMPARE(view.state().pixels.size, quint64(view.state().width) * view.state().height * 4);
    }

    // A PNG of a few hundred bytes whose header claims 100000 x 100000 pixels (40 GB as ARGB) is refused
    // before anything that size is allocated.
    void pngBomb()
    {
        const auto pngChunk = [](const char* tag, const QByteArray& payload) {
            const QByteArray body = QByteArray(tag, 4) + payload;
            quint32 crc = 0xFFFFFFFF;
            for (char c : body) {
                crc ^= quint8(c);
                for (int k = 0; k < 8; ++k)
                    crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
            }
            return bigEndian(quint32(payload.size())) + body + bigEndian(~crc);
        };
        QByteArray ihdr = bigEndian(100000) + bigEndian(100000);
        ihdr += QByteArray("\x01\x00\x00\x00\x00", 5); // 1 bit grey, no interlace
        // The first rows of zeros, deflated (qCompress puts a 4-byte length before the zlib stream); the
        // rest of the picture is simply not there.
        const QByteArray packed = qCompress(QByteArray(100 * 12501, '\0'), 9).mid(4);
        const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", packed) +
                               pngChunk("IEND", {});
        QVERIFY(png.size() < 4096);
        PictureView view;
        loadAndCheck(view, png, QStringLiteral("PNG bomb"));
        QVERIFY(!view.state().importBuffer.pixels);
    }

    // Blanks, a newline and bytes that are not UTF-8 in a name, and a path of 4,000 characters through
    // nested folders, are taken byte for byte; a path longer than the system allows is refused.
    void strangePaths()
    {
        const QByteArray still = losslessFile(6, 5, 0xFF204060);
        const std::string base = QFile::encodeName(scratch.path()).toStdString();
        std::vector<std::string> paths{base + "/with blanks  .webp", base + "/new\nline.webp",
                                       base + "/not-utf8-\xff\xfe\xe7.webp"};
        std::string deep = base;
        while (deep.size() + 101 <= 3850) {
            deep += "/" + std::string(100, 'd');
            QCOMPARE(::mkdir(deep.c_str(), 0700), 0);
        }
        deep += "/" + std::string(4000 - deep.size() - 6, 'f') + ".webp";
        QCOMPARE(deep.size(), std::size_t(4000));
        paths.push_back(deep);
        for (const std::string& p : paths) {
            const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, still.constData(), std::size_t(still.size())), ssize_t(still.size()));
            ::close(fd);
            PictureView view;
            StdoutCapture out;
            view.send(MethodId::Load, p);
            QCOMPARE(out.text(), QByteArray());
            QCOMPARE(view.state().mode, Mode::Still);
            QCOMPARE(view.state().width, 6u);
            QCOMPARE(view.state().path, p);
            ::unlink(p.c_str()); // a name that is not UTF-8 is beyond QTemporaryDir's clean-up
        }
        PictureView view;
        StdoutCapture out;
        view.send(MethodId::Load, deep + "/" + std::string(200, 'x')); // past PATH_MAX
        QCOMPARE(out.text(), kCantRead);
    }

    // The file is read once: cutting or removing it after loading changes nothing on show, and
    // animation frames keep coming from the bytes in memory.
    void fileChangesAfterReading()
    {
        std::vector<MuxFrame> frames;
        for (int i = 0; i < 3; ++i)
            frames.push_back({losslessFile(4, 4, 0xFF000000u | (0x400000u * std::uint32_t(i + 1))), 0, 0, 30, false, false});
        const QByteArray animation = muxAnimation(frames, 4, 4);
        const QString file = path(QStringLiteral("changing.webp"));
        QVERIFY(testsupport::writeAll(file, animation));
        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(file));
        QCOMPARE(view.state().frameCount, 3);
        QVERIFY(QFile::resize(file, 20));
        view.send(MethodId::ShowAnimFrame, 3);
        QCOMPARE(shownPixels(view.state())[0], 0xFFC00000u); // the red of frame 3
        QVERIFY(QFile::remove(file));
        view.send(MethodId::ShowAnimFrame, 2);
        QCOMPARE(shownPixels(view.state())[0], 0xFF800000u);
        QCOMPARE(view.state().frameCount, 3);
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
