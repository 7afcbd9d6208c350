// Image directories made to hurt: twenty thousand files, entries that are no files at all (link loops,
// a FIFO, a socket, a file whose reading fails), strange and very long paths, and files that change
// after the directory was listed. Playing and encoding take what they can, leave the rest out with a
// line on standard error for each, and never hang or crash.

#include "EncodingWindow.h"

#include <QtTest>

#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvanta;
using namespace fixtures;
using testsupport::readAll;
using testsupport::makeSocket;
using testsupport::writeAll;

namespace {

bool writeBytes(const std::string& path, const QByteArray& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == ssize_t(bytes.size());
    return ::close(fd) == 0 && ok;
}

QByteArray pngBytes(int width, int height, quint32 seed)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("p.png");
    return savePng(makePicture(width, height, false, seed), file) ? readAll(file) : QByteArray();
}

// Shows every frame forwards and backwards, then encodes the directory into `target`; the number of
// frames the written animation has (0 when nothing was written).
int playAndEncode(Window& w, const QString& target)
{
    for (std::int32_t n = 1; n <= w.d().frameCount; ++n)
        w.view.send(MethodId::ShowDirFrame, n);
    for (std::int32_t n = w.d().frameCount; n >= 1; --n)
        w.view.send(MethodId::GotoFrame, n);
    w.answers = {chosen(target)};
    w.view.send(MethodId::SaveAnimation);
    return readAnimation(readAll(target)).frames;
}

} // namespace

class TestHostileDirectories : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { REQUIRE_IMPORTER(); }

    // 20,000 empty files and one picture: the empty files are left out when the directory is opened,
    // each named once; the picture is the one frame.
    void twentyThousandFiles()
    {
        QTemporaryDir dir;
        const QString frames = dir.filePath("many");
        QVERIFY(QDir().mkdir(frames));
        const std::string base = frames.toStdString() + "/";
        for (int i = 1; i <= 20000; ++i) {
            const int fd = ::open((base + "f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QVERIFY(writeBytes(base + "a.png", pngBytes(12, 9, 1)));
        Window w;
        testsupport::StderrCapture errors;
        w.view.send(MethodId::LoadDirectory, frames.toStdString());
        QCOMPARE(errors.text().count('\n'), 20000);
        QCOMPARE(w.d().frameCount, 1);
        QCOMPARE(w.slider->maximum(), 1);
        QCOMPARE(w.d().width, 12u);
        w.view.send(MethodId::ShowDirFrame, 20001);
        QCOMPARE(w.d().width, 12u);
        w.answers = {chosen(dir.filePath("many.webp"))};
        w.view.send(MethodId::SaveAnimation);
        QCOMPARE(readAnimation(readAll(dir.filePath("many.webp"))).frames, 1);
    }

    // Entries that are not pictures or cannot be read at all are no frames; reading a FIFO must not
    // wait for a writer.
    void entriesThatAreNoFiles()
    {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString() + "/";
        QVERIFY(writeBytes(d + "a.png", pngBytes(10, 8, 1)));
        // (A different picture between a.png and the link to it: the encoder merges equal neighbours.)
        QVERIFY(writeBytes(d + "aa.png", pngBytes(10, 8, 3)));
        QCOMPARE(::symlink((d + "b-self").c_str(), (d + "b-self").c_str()), 0);
        QCOMPARE(::symlink((d + "c-loop2").c_str(), (d + "c-loop1").c_str()), 0);
        QCOMPARE(::symlink((d + "c-loop1").c_str(), (d + "c-loop2").c_str()), 0);
        QCOMPARE(::mkfifo((d + "d-fifo").c_str(), 0600), 0);
        QVERIFY(makeSocket(d + "e-socket"));
        QCOMPARE(::symlink("/proc/self/mem", (d + "f-read-fails").c_str()), 0); // open works, read fails
        QVERIFY(writeBytes(d + "g-no-permission.png", pngBytes(4, 4, 2)));
        QCOMPARE(::chmod((d + "g-no-permission.png").c_str(), 0), 0);
        QCOMPARE(::mkdir((d + "h-closed-dir").c_str(), 0), 0);
        QCOMPARE(::symlink(dir.path().toLocal8Bit().constData(), (d + "i-link-to-dir").c_str()), 0);
        QCOMPARE(::symlink((d + "a.png").c_str(), (d + "j-link.png").c_str()), 0);
        QCOMPARE(::symlink("/dev/zero", (d + "k-device").c_str()), 0);

        Window w;
        w.view.send(MethodId::LoadDirectory, d);
        // a.png, aa.png and the link to a.png, and the file without permission when running as the
        // super-user.
        const int pictures = ::geteuid() == 0 ? 4 : 3;
        QCOMPARE(w.d().frameCount, pictures);
        const QTemporaryDir out;
        QCOMPARE(playAndEncode(w, out.filePath("out.webp")), pictures);
        QVERIFY(!BusyPointer::active());
    }

    // Blanks, a newline and bytes that are not UTF-8 in directory and file names, nested 4,000
    // characters deep; a directory path longer than the system allows lists nothing.
    void strangePaths()
    {
        QTemporaryDir dir;
        std::string deep = dir.path().toStdString() + "/with blanks \n and \xff\xfe bytes";
        QCOMPARE(::mkdir(deep.c_str(), 0700), 0);
        while (deep.size() + 101 <= 3850) {
            deep += "/" + std::string(100, 'n');
            QCOMPARE(::mkdir(deep.c_str(), 0700), 0);
        }
        QVERIFY(writeBytes(deep + "/frame 1\n\xe7.png", pngBytes(8, 6, 1)));
        const std::string longName = "/" + std::string(4000 - deep.size() - 5, 'x') + ".png";
        QVERIFY(writeBytes(deep + longName, pngBytes(9, 6, 2)));
        QCOMPARE((deep + longName).size(), std::size_t(4000));
        const std::string target = deep + "/out \xff.webp";

        Window w;
        w.view.send(MethodId::LoadDirectory, deep);
        QCOMPARE(w.d().frameCount, 2);
        QCOMPARE(w.d().width, 9u); // both on a canvas of the larger width
        QCOMPARE(w.view.displayImage().pixel(8, 0), 0u); // beyond the first picture: transparent
        w.view.send(MethodId::ShowDirFrame, 2);
        QVERIFY(w.view.displayImage().pixel(8, 0) != 0u);
        w.answers = {{RequestAnswer::Outcome::Chosen, deep, target.substr(deep.size() + 1)}};
        w.view.send(MethodId::SaveAnimation);
        std::ifstream file(target, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const QByteArray written = QByteArray::fromStdString(bytes);
        QCOMPARE(readAnimation(written).frames, 2);

        w.view.send(MethodId::LoadDirectory, deep + "/" + std::string(200, 'y'));
        QCOMPARE(w.d().frameCount, 0);
        // QTemporaryDir cannot remove names that are not UTF-8: they go here.
        QVERIFY(std::filesystem::remove_all(dir.path().toStdString() + "/with blanks \n and \xff\xfe bytes") > 0);
    }

    // The listing is taken once: files removed, cut short or turned into directories afterwards are
    // left out when they are first shown, and the slider follows.
    void filesChangeAfterListing()
    {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString() + "/";
        for (int i = 1; i <= 5; ++i)
            QVERIFY(writeBytes(d + "f" + std::to_string(i) + ".png", pngBytes(10 + i, 7, quint32(i))));
        Window w;
        w.view.send(MethodId::LoadDirectory, d);
        QCOMPARE(w.d().frameCount, 5);
        QCOMPARE(::unlink((d + "f2.png").c_str()), 0);
        QCOMPARE(::truncate((d + "f3.png").c_str(), 30), 0);
        QCOMPARE(::unlink((d + "f4.png").c_str()), 0);
        QCOMPARE(::mkdir((d + "f4.png").c_str(), 0700), 0);
        const QTemporaryDir out;
        QCOMPARE(playAndEncode(w, out.filePath("out.webp")), 2);
        QCOMPARE(w.d().frameCount, 2);
        QCOMPARE(w.slider->maximum(), 2);
        QCOMPARE(w.d().width, 15u); // f1 and f5 are left, on the canvas of f5
    }
};

QTEST_MAIN(TestHostileDirectories)
#include "tst_hostile_directories.moc"
