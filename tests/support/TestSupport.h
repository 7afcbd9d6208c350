#pragma once
// Helpers shared by the test suites: where test data lives, running Debian tools, scratch folders.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace testsupport {

// ../shared/testdata/conformance next to the project, or an empty string where it is absent.
QString conformanceDir();

// Runs a program and waits for it; true when it exited with code 0. Output is kept in *output if given.
bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);

// True when the program is on this machine (looked up in /usr/bin first, then PATH).
bool haveTool(const QString& program);
// Full path of a tool; ImageMagick's convert is always taken from /usr/bin.
QString tool(const QString& program);

// A file's bytes; empty when it cannot be read.
QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& bytes);
// A Unix socket file at path that nothing listens on (connecting to it is refused).
bool makeSocket(const std::string& path);

// A size field of a process's status in /proc ("VmRSS", "VmHWM"), in bytes; 0 when it is not there.
// `pid` 0 is this process.
qint64 statusBytes(const char* field, qint64 pid = 0);
// The process's resident memory (VmRSS), in bytes; 0 when /proc is not there.
qint64 residentBytes();
// Heap bytes in use right now (the sanitizer's own count in a sanitizer build, where freed memory is
// held back for a while and RSS says little about leaks).
qint64 heapBytesInUse();
// Number of open file descriptors of the process.
int openDescriptors();

// Collects what the process writes to standard output (or another stream) between construction and
// text().
class StdoutCapture {
public:
    explicit StdoutCapture(std::FILE* stream = stdout) : stream(stream), fd(::fileno(stream))
    {
        std::fflush(stream);
        saved = ::dup(fd);
        file = std::tmpfile();
        ::dup2(::fileno(file), fd);
    }
    ~StdoutCapture()
    {
        restore();
        if (file)
            std::fclose(file);
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    QByteArray text()
    {
        restore();
        QByteArray out;
        std::rewind(file);
        char chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            out.append(chunk, static_cast<qsizetype>(n));
        return out;
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stream);
        ::dup2(saved, fd);
        ::close(saved);
        saved = -1;
    }
    std::FILE* stream;
    int fd;
    int saved = -1;
    std::FILE* file = nullptr;
};

// While it lives, files are checked on this thread as an ordinary user would meet them: the
// super-user ignores permission bits.
class OrdinaryUser {
public:
    OrdinaryUser();
    ~OrdinaryUser();
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

private:
    bool root = ::geteuid() == 0;
};

// The same for standard error.
struct StderrCapture : StdoutCapture {
    StderrCapture() : StdoutCapture(stderr) {}
};

// Path in the local 8-bit form the core takes.
inline std::string bytesOf(const QString& path) { return path.toStdString(); }

} // namespace testsupport

// Skips the current test with a clear reason when the shared conformance folder is absent.
#define REQUIRE_CONFORMANCE_DIR()                                                                        \
    do {                                                                                                 \
        if (testsupport::conformanceDir().isEmpty())                                                     \
            QSKIP("../shared/testdata/conformance is absent: the public conformance files are not here"); \
    } while (false)

#define REQUIRE_TOOL(name)                                                                               \
    do {                                                                                                 \
        if (!testsupport::haveTool(name))                                                                \
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/setup.sh installs it)").arg(name))); \
    } while (false)
