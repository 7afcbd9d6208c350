#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace testsupport {

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

} // namespace testsupport
