// What opening a hostile picture costs in memory, counted in a child process (this executable run
// with --open): the growth of its peak resident size from just before the load until the picture, or
// the refusal, is on show. Every decompression bomb stays within the decode budget, and a picture just
// under the budget is held once (not again for the display or for drawing).

#include "Bombs.h"
#include "TestSupport.h"

#include "core/DecodeBudget.h"
#include "import/DecodePicture.h"
#include "pictureview/PictureView.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

using namespace quorvanta;

namespace {

// The child: opens `path` in a shown picture object under a budget of `budgetMiB` and prints
// "growth <bytes> scale <percent> failed <0|1>".
int openInChild(const char* path, const char* budgetMiB, int argc, char** argv)
{
    QApplication app(argc, argv);
    SetDecodeBudgetMiB(std::strtoull(budgetMiB, nullptr, 10));
    PictureView view;
    view.resize(640, 480);
    view.show();
    // Qt's image plugins are loaded before counting: their code is not the picture's memory.
    for (const bombs::Bomb& tiny : bombs::everyFormat(2, 2))
        DecodePicture({reinterpret_cast<const std::uint8_t*>(tiny.bytes.constData()), std::size_t(tiny.bytes.size())});
    QCoreApplication::processEvents();
    // The peak is set back to what is resident now, where the kernel allows it.
    if (QFile clear(QStringLiteral("/proc/self/clear_refs")); clear.open(QIODevice::WriteOnly))
        clear.write("5");
    const qint64 before = testsupport::statusBytes("VmRSS");
    int scale = 100;
    bool failed = false;
    QObject::connect(&view, &PictureView::scaleChanged, [&scale](int percent) { scale = percent; });
    QObject::connect(&view, &PictureView::failed, [&failed] { failed = true; });
    view.send(MethodId::Load, std::string(path));
    view.repaint(); // the drawn picture is made
    const qint64 peak = testsupport::statusBytes("VmHWM");
    std::printf("growth %lld scale %d failed %d\n", static_cast<long long>(peak - before), scale, failed ? 1 : 0);
    return 0;
}

struct Measured {
    qint64 growth = -1;
    int scale = 0;
    bool failed = false;
};

Measured openInChildProcess(const QString& path, std::uint64_t budgetMiB)
{
    QProcess child;
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    child.start(QCoreApplication::applicationFilePath(), {"--open", path, QString::number(budgetMiB)});
    Measured out;
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return out;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 6 && words[0] == "growth") {
            out.growth = words[1].toLongLong();
            out.scale = words[3].toInt();
            out.failed = words[5] == "1";
        }
    }
    return out;
}

} // namespace

class TestBombMemory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("resident sizes under AddressSanitizer say nothing about the program's own memory");
#endif
    }

    void bombsStayWithinTheBudget_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        for (const bombs::Bomb& bomb : bombs::everyFormat(32768, 32768))
            QTest::newRow(bomb.name) << bomb.bytes;
    }
    void bombsStayWithinTheBudget()
    {
        QFETCH(QByteArray, bytes);
        constexpr std::uint64_t budget = 64;
        QTemporaryDir dir;
        QVERIFY(testsupport::writeAll(dir.filePath("bomb"), bytes));
        const Measured m = openInChildProcess(dir.filePath("bomb"), budget);
        QVERIFY2(m.growth >= 0, "the child did not report");
        qInfo("peak growth %.1f MiB, %s", double(m.growth) / double(kMiB),
              m.failed ? "refused" : qPrintable(QStringLiteral("shown at %1%").arg(m.scale)));
        QVERIFY(m.failed || m.scale < 100);
        QVERIFY2(m.growth <= qint64(budget * kMiB), qPrintable(QString::number(m.growth)));
    }

    // A picture just under the budget: the one full-size copy is the decoded picture itself.
    void pictureUnderTheBudgetIsHeldOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("png, imported") << "png";
        QTest::newRow("webp still") << "webp";
    }
    void pictureUnderTheBudgetIsHeldOnce()
    {
        QFETCH(QString, kind);
        constexpr std::uint64_t budget = 256;
        constexpr std::uint32_t side = 8000; // 244 MiB of pixels
        QTemporaryDir dir;
        QString path = dir.filePath("big.png");
        QVERIFY(testsupport::writeAll(path, bombs::png(side, side, true)));
        if (kind == "webp") {
            if (!testsupport::haveTool("cwebp"))
                QSKIP("cwebp is not installed");
            QVERIFY(testsupport::run("cwebp", {"-quiet", "-q", "5", "-m", "0", path, "-o", dir.filePath("big.webp")}));
            path = dir.filePath("big.webp");
        }
        const Measured m = openInChildProcess(path, budget);
        QVERIFY2(m.growth >= 0, "the child did not report");
        qInfo("peak growth %.1f MiB for %.1f MiB of pixels", double(m.growth) / double(kMiB),
              double(side) * side * 4 / double(kMiB));
        QVERIFY(!m.failed);
        QCOMPARE(m.scale, 100);
        // A second full-size copy would take it to twice the picture.
        QVERIFY2(m.growth < qint64(side) * side * 4 * 3 / 2, qPrintable(QString::number(m.growth)));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--open") == 0)
        return openInChild(argv[2], argv[3], argc, argv);
    QApplication app(argc, argv);
    TestBombMemory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bomb_memory.moc"
