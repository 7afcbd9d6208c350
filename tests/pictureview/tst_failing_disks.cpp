// Writing an animation where writing fails: a device as target, the file size limit standing in for a
// full disk, a read-only directory, a directory or a broken link as target. The target and its
// neighbours keep their bytes, nothing partial stays behind, and the program goes on working. (The
// still encoder's file writing has the same cases in its own suite.)

#include "EncodingWindow.h"

#include <QtTest>

#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using namespace fixtures;
using testsupport::OrdinaryUser;
using testsupport::readAll;
using testsupport::writeAll;

namespace {

enum class WriteFault { Device, SizeLimit, ReadOnlyDirectory, DirectoryTarget, DanglingLink, LinkLoop };

// Lowers the file size limit below any frame's size while it lives.
class SizeLimit {
public:
    SizeLimit()
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = 2000;
        active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~SizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved); }
    SizeLimit(const SizeLimit&) = delete;
    SizeLimit& operator=(const SizeLimit&) = delete;
    bool active = false;

private:
    rlimit saved{};
};

} // namespace

class TestFailingDisks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void animationTargetThatCannotBeWritten_data()
    {
        QTest::addColumn<int>("failure");
        QTest::newRow("device /dev/full") << int(WriteFault::Device);
        QTest::newRow("file size limit") << int(WriteFault::SizeLimit);
        QTest::newRow("read-only directory") << int(WriteFault::ReadOnlyDirectory);
        QTest::newRow("a directory as target") << int(WriteFault::DirectoryTarget);
        QTest::newRow("dangling link") << int(WriteFault::DanglingLink);
        QTest::newRow("link loop") << int(WriteFault::LinkLoop);
    }
    void animationTargetThatCannotBeWritten()
    {
        REQUIRE_IMPORTER();
        QFETCH(int, failure);
        QTemporaryDir dir;
        const QString frames = dir.filePath("frames");
        QVERIFY(QDir().mkdir(frames));
        for (int i = 0; i < 3; ++i)
            QVERIFY(savePng(makePicture(64, 48, true, quint32(i + 1)), frames + QStringLiteral("/f%1.png").arg(i)));
        const QString out = dir.filePath("out");
        QVERIFY(QDir().mkdir(out));
        QVERIFY(writeAll(out + "/neighbour.webp", "neighbour bytes"));

        QString target = out + "/anim.webp";
        switch (WriteFault(failure)) {
        case WriteFault::Device:
            target = QStringLiteral("/dev/full");
            break;
        case WriteFault::SizeLimit:
        case WriteFault::ReadOnlyDirectory:
            QVERIFY(writeAll(target, "old bytes"));
            break;
        case WriteFault::DirectoryTarget:
            QVERIFY(QDir().mkdir(target));
            QVERIFY(writeAll(target + "/inside", "inside bytes"));
            break;
        case WriteFault::DanglingLink:
            QVERIFY(QFile::link(out + "/nowhere/x.webp", target));
            break;
        case WriteFault::LinkLoop:
            QVERIFY(QFile::link(out + "/loop-b", target));
            QVERIFY(QFile::link(target, out + "/loop-b"));
            break;
        }
        const QStringList before = entriesOf(out);

        Window w;
        w.settings.losslessValue = true; // noisy lossless frames: far beyond the lowered size limit
        w.view.send(MethodId::LoadDirectory, frames.toStdString());
        QCOMPARE(w.d().frameCount, 3);
        w.answers = {chosen(target)};
        {
            std::optional<SizeLimit> limit;
            std::optional<OrdinaryUser> user;
            if (WriteFault(failure) == WriteFault::SizeLimit) {
                limit.emplace();
                QVERIFY(limit->active);
            }
            if (WriteFault(failure) == WriteFault::ReadOnlyDirectory) {
                QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
                QVERIFY(::chmod(out.toLocal8Bit().constData(), 0555) == 0);
                user.emplace();
            }
            w.view.send(MethodId::SaveAnimation);
        }
        ::chmod(out.toLocal8Bit().constData(), 0755);

        QCOMPARE(entriesOf(out), before);
        QCOMPARE(readAll(out + "/neighbour.webp"), QByteArray("neighbour bytes"));
        if (WriteFault(failure) == WriteFault::SizeLimit || WriteFault(failure) == WriteFault::ReadOnlyDirectory)
            QCOMPARE(readAll(target), QByteArray("old bytes"));
        if (WriteFault(failure) == WriteFault::DirectoryTarget)
            QCOMPARE(readAll(target + "/inside"), QByteArray("inside bytes"));
        struct stat device {};
        QVERIFY(::stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode));
        QVERIFY(w.gauge->isHidden());
        QVERIFY(!BusyPointer::active());

        // The program goes on: the same animation written elsewhere is whole.
        w.answers = {chosen(dir.filePath("good.webp"))};
        w.view.send(MethodId::SaveAnimation);
        QCOMPARE(readAnimation(readAll(dir.filePath("good.webp"))).frames, 3);
    }
};

QTEST_MAIN(TestFailingDisks)
#include "tst_failing_disks.moc"
