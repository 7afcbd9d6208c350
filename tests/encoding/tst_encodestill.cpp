#include "PictureFixtures.h"
#include "encoding/AtomicFile.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/WebPHandles.h"

#include <QFileInfo>
#include <QtTest>

#include <atomic>

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

// What an encoding into `path` came to: empty when it succeeded, else the reason as the window shows it.
QString encodeFile(const QString& path, PictureRecord& record, const EncodeSettings& settings,
                   const ProgressReport* progress = nullptr, const std::atomic<bool>* stop = nullptr)
{
    const Status status = EncodeStillWebP(path.toStdString(), record, settings, nullptr, 0, progress, stop);
    return status ? QString() : QString::fromStdString(status.problem().text());
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
        QCOMPARE(encodeFile(out, source.record, settings), QString());
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
            QCOMPARE(encodeFile(out, source.record, settings), QString());
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
        QCOMPARE(encodeFile(ours, source.record, settings), QString());
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

    // Out-of-range settings: refused with the setting and its range named; the target keeps its bytes
    // and nothing is left over.
    void failureLeavesTargetUntouched_data()
    {
        QTest::addColumn<EncodeSettings>("settings");
        QTest::addColumn<QString>("reason");
        QTest::newRow("quality 101") << EncodeSettings{0, 101, 0, 0, 0} << "quality 101 is outside 0-100";
        QTest::newRow("quality 1000, lossless") << EncodeSettings{1, 1000, 0, 0, 0} << "quality 1000 is outside 0-100";
        QTest::newRow("speed 7") << EncodeSettings{0, 50, 7, 0, 0} << "speed 7 is outside 0-6";
        QTest::newRow("strength 101") << EncodeSettings{0, 50, 0, 101, 0} << "filter strength 101 is outside 0-100";
        QTest::newRow("sharpness 99") << EncodeSettings{0, 50, 0, 0, 99} << "filter sharpness 99 is outside 0-7";
        QTest::newRow("negative quality") << EncodeSettings{0, -1, 0, 0, 0} << "quality -1 is outside 0-100";
        QTest::newRow("speed -3, lossless") << EncodeSettings{1, 50, -3, 0, 0} << "speed -3 is outside 0-6";
    }
    void failureLeavesTargetUntouched()
    {
        QFETCH(EncodeSettings, settings);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 32, 32, false);
        const QString existing = dir.filePath(QStringLiteral("existing.webp"));
        QVERIFY(writeAll(existing, "old bytes"));
        const QStringList before = entriesOf(dir.path());
        QCOMPARE(encodeFile(existing, source.record, settings), "a setting is out of range: " + reason);
        QCOMPARE(encodeFile(dir.filePath(QStringLiteral("new.webp")), source.record, settings),
                 "a setting is out of range: " + reason);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(dir.path()), before);
    }

    // A directory, a device and a dangling link are never replaced; each refusal says why.
    void unwritableTargetsAreRefused()
    {
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 32, 32, false);
        const EncodeSettings settings;
        const QString subdir = dir.filePath(QStringLiteral("subdir"));
        QVERIFY(QDir().mkdir(subdir));
        QCOMPARE(encodeFile(subdir, source.record, settings), "subdir can't be written: it is a folder");
        QVERIFY(QFileInfo(subdir).isDir());
        struct stat device {};
        QCOMPARE(encodeFile(QStringLiteral("/dev/full"), source.record, settings),
                 "full can't be written: it is not a regular file");
        QVERIFY(::stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode));
        const QString dangling = dir.filePath(QStringLiteral("dangling.webp"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere/x.webp")), dangling));
        const QStringList before = entriesOf(dir.path());
        QCOMPARE(encodeFile(dangling, source.record, settings),
                 "dangling.webp can't be written: a link that leads nowhere: No such file or directory");
        QCOMPARE(entriesOf(dir.path()), before);
        QCOMPARE(encodeFile(dir.filePath(QStringLiteral("missing/out.webp")), source.record, settings),
                 "out.webp can't be written: No such file or directory");
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
        const QString result = encodeFile(existing, source.record, EncodeSettings{});
        if (root)
            ::setfsuid(0);
        ::chmod(locked.toLocal8Bit().constData(), 0755);
        QCOMPARE(result, "picture.webp can't be written: Permission denied");
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
        const QString result = encodeFile(existing, source.record, settings);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(result, "existing.webp: the disk is full: the file size limit was reached");
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
        QCOMPARE(encodeFile(link, source.record, EncodeSettings{}), QString());
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
        QVERIFY(EncodeStillWebP(existing.toStdString(), source.record, EncodeSettings{}, writer.get(), 1));
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
        QVERIFY(EncodeStillWebP({}, source.record, EncodeSettings{}, writer.get(), 1, &report));
        QVERIFY(!seen.empty());
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QVERIFY(seen.front() >= 0 && seen.back() <= 100 && seen.back() > 50);
    }

    void emptyRecordIsRefused()
    {
        QTemporaryDir dir;
        PictureRecord empty;
        const QString out = dir.filePath(QStringLiteral("out.webp"));
        QCOMPARE(encodeFile(out, empty, EncodeSettings{}), "nothing to encode: no picture was imported");
        QVERIFY(!QFileInfo::exists(out));
    }

    // A stop asked for while libwebp works (here from its own progress report, as another thread
    // would) ends the encoding at its next report: nothing written, no temporary file, the target as
    // it was. The same for lossy and lossless, into a file and into memory.
    void stopEndsTheEncoding_data()
    {
        QTest::addColumn<int>("lossless");
        QTest::addColumn<int>("stopAt"); // percent; -1 stops before the start
        QTest::newRow("lossy, before the start") << 0 << -1;
        QTest::newRow("lossy, halfway") << 0 << 50;
        QTest::newRow("lossless, halfway") << 1 << 50;
    }
    void stopEndsTheEncoding()
    {
        QFETCH(int, lossless);
        QFETCH(int, stopAt);
        QTemporaryDir dir;
        Source source = makeSource(dir, QStringLiteral("in.png"), 300, 200, false);
        const QString existing = dir.filePath(QStringLiteral("existing.webp"));
        QVERIFY(writeAll(existing, "old bytes"));
        const QStringList before = entriesOf(dir.path());
        std::atomic<bool> stop{stopAt < 0};
        int reportsFindingStop = 0;
        const ProgressReport report = [&](int percent) {
            reportsFindingStop += stop ? 1 : 0;
            if (percent >= stopAt)
                stop = true;
        };
        EncodeSettings settings;
        settings.lossless = lossless;
        QCOMPARE(encodeFile(existing, source.record, settings, &report, &stop), QString("cancelled"));
        // The report during which the flag is found set is libwebp's last.
        QCOMPARE(reportsFindingStop, stopAt < 0 ? 1 : 0);
        QCOMPARE(readAll(existing), QByteArray("old bytes"));
        QCOMPARE(entriesOf(dir.path()), before);

        MemoryWriter writer;
        const Status inMemory = EncodeStillWebP({}, source.record, settings, writer.get(), 1, &report, &stop);
        QVERIFY(!inMemory && inMemory.problem().failure == Failure::Cancelled);
    }
};

QTEST_GUILESS_MAIN(TestEncodeStill)
#include "tst_encodestill.moc"
