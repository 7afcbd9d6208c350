#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <malloc.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVANTA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANTA_ASAN 1
#endif
#endif
#ifdef QUORVANTA_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer runtime's own count
#endif

namespace testsupport {

OrdinaryUser::OrdinaryUser()
{
    if (root)
        ::setfsuid(65534);
}

OrdinaryUser::~OrdinaryUser()
{
    if (root)
        ::setfsuid(0);
}

QString conformanceDir()
{
    const QString dir = QStringLiteral(QUORVANTA_SHARED_TESTDATA "/conformance");
    return QFileInfo(dir).isDir() ? QDir(dir).canonicalPath() : QString();
}

QString tool(const QString& program)
{
    const QString inUsrBin = QStringLiteral("/usr/bin/") + program;
    if (QFileInfo(inUsrBin).isExecutable())
        return inUsrBin;
    if (program == QLatin1String("convert"))
        return {};
    return QStandardPaths::findExecutable(program);
}

bool haveTool(const QString& program)
{
    return !tool(program).isEmpty();
}

bool run(const QString& program, const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = tool(program).isEmpty() ? program : tool(program);
    process.start(path, arguments);
    if (!process.waitForFinished(120000))
        return false;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

qint64 statusBytes(const char* field, qint64 pid)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

qint64 residentBytes()
{
    return statusBytes("VmRSS");
}

qint64 heapBytesInUse()
{
#ifdef QUORVANTA_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

bool makeSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    path.copy(address.sun_path, path.size());
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd); // the socket file stays
    return bound;
}

} // namespace testsupport
