// Decompression bombs of every format the program reads, opened through the picture object: each is
// refused with "Can't read the file!" and a reason that names its size and the budget, or shown
// reduced (with its scale signalled and its encoding refused); what was on show stays when refused.

#include "Bombs.h"
#include "TestDoubles.h"
#include "ViewingFixtures.h"
#include "WebPBuilder.h"

#include "core/DecodeBudget.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvanta;
using namespace viewingtest;

namespace {

constexpr std::uint64_t kBudgetMiB = 16;
constexpr std::uint32_t kDeclared = 8192; // 256 MiB of pixels, sixteen times the budget

} // namespace

class TestBombs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { SetDecodeBudgetMiB(kBudgetMiB); }
    void cleanup() { SetDecodeBudgetBytes(0); }

    void everyFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("reducible");
        // Sixteen times the budget, and the size that some of Qt's readers turn down on their own.
        for (const std::uint32_t declared : {kDeclared, 32768u})
            for (const bombs::Bomb& bomb : bombs::everyFormat(declared, declared))
                QTest::addRow("%s %u", bomb.name, declared)
                    << bomb.bytes << QStringLiteral("%1 x %2").arg(bomb.width).arg(bomb.height) << bomb.reducible;
    }
    void everyFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, size);
        QFETCH(bool, reducible);
        QTemporaryDir dir;
        const QString path = dir.filePath("bomb");
        QVERIFY(testsupport::writeAll(path, bytes));
        QVERIFY(testsupport::writeAll(dir.filePath("small.png"), bombs::png(7, 5, true)));

        PictureView view;
        view.send(MethodId::Load, testsupport::bytesOf(dir.filePath("small.png")));
        QCOMPARE(view.state().width, 7u);
        QSignalSpy failed(&view, &PictureView::failed);
        QSignalSpy scale(&view, &PictureView::scaleChanged);
        const qint64 heapBefore = testsupport::heapBytesInUse();
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(path));
        const QByteArray printed = out.text();
        // Nothing of the declared size is held afterwards either.
        QVERIFY2(testsupport::heapBytesInUse() - heapBefore < qint64(kBudgetMiB * kMiB),
                 qPrintable(QString::number(testsupport::heapBytesInUse() - heapBefore)));

        // A picture its decoder can reduce is refused all the same when even that does not fit.
        if (reducible && failed.count() == 0) {
            QCOMPARE(failed.count(), 0);
            QCOMPARE(printed, QByteArray());
            QCOMPARE(scale.count(), 1);
            QVERIFY(scale.at(0).at(0).toInt() < 100);
            QVERIFY(std::uint64_t(view.state().width) * view.state().height <= kDefaultReducedArea);
            QCOMPARE(view.state().path, testsupport::bytesOf(path));
            return;
        }
        QCOMPARE(printed, QByteArray("Can't read the file!\n"));
        QCOMPARE(failed.count(), 1);
        const auto problem = failed.at(0).at(0).value<Problem>();
        QCOMPARE(problem.failure, Failure::OverBudget);
        QVERIFY2(QString::fromStdString(problem.detail).startsWith(size + " needs "), problem.detail.c_str());
        QVERIFY2(QString::fromStdString(problem.detail).endsWith("; the limit is 16.0 MiB (Settings)"),
                 problem.detail.c_str());
        // What was on show stays.
        QCOMPARE(view.state().width, 7u);
        QVERIFY(QString::fromStdString(view.state().path).endsWith("small.png"));
        QCOMPARE(scale.count(), 0);
    }

    // Animations that libwebp's own tools reject: refused like any unreadable file, with the reason
    // in the window.
    void invalidAnimations_data()
    {
        using namespace webpbuild;
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray pixel = imageChunk(losslessFile(1, 1, 0xFFFF0000u));
        const QByteArray big = imageChunk(losslessFile(32, 32, 0xFF00FF00u));
        QTest::newRow("no frame") << riff(vp8x(kAnimation, 16, 16) + anim());
        QTest::newRow("frame wholly outside") << riff(vp8x(kAnimation, 16, 16) + anim() + anmf(20, 20, 1, 1, 100, false, false, pixel));
        QTest::newRow("frame larger than the canvas") << riff(vp8x(kAnimation, 16, 16) + anim() + anmf(0, 0, 32, 32, 100, false, false, big));
    }
    void invalidAnimations()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(testsupport::writeAll(dir.filePath("a.webp"), bytes));
        PictureView view;
        QSignalSpy failed(&view, &PictureView::failed);
        StdoutCapture out;
        view.send(MethodId::Load, testsupport::bytesOf(dir.filePath("a.webp")));
        QCOMPARE(out.text(), QByteArray("Can't read the file!\n"));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).value<Problem>().failure, Failure::Corrupt);
        QCOMPARE(view.state().frameCount, 0);
        QVERIFY(view.state().path.empty());
    }

    // "Encode picture" needs the whole picture: one shown reduced is refused with the budget's words,
    // and nothing is written.
    void reducedPictureIsNotEncoded()
    {
        QTemporaryDir dir;
        QImage source(4000, 3000, QImage::Format_RGB32);
        source.fill(Qt::darkGreen);
        QVERIFY(source.save(dir.filePath("big.jpg"), "JPEG"));
        PictureView view;
        FixedSettings settings;
        view.setSettings(&settings);
        view.send(MethodId::Load, testsupport::bytesOf(dir.filePath("big.jpg")));
        QCOMPARE(view.mode(), Mode::Imported);
        QSignalSpy failed(&view, &PictureView::failed);
        view.send(MethodId::EncodePicture, testsupport::bytesOf(dir.filePath("out.webp")));
        QCOMPARE(failed.count(), 1);
        const auto problem = failed.at(0).at(0).value<Problem>();
        QCOMPARE(problem.failure, Failure::OverBudget);
        QVERIFY2(QString::fromStdString(problem.detail).startsWith("4000 x 3000 needs "), problem.detail.c_str());
        QVERIFY(!QFile::exists(dir.filePath("out.webp")));

        // The same picture within a larger budget is whole, and encodes.
        SetDecodeBudgetMiB(64);
        view.send(MethodId::Load, testsupport::bytesOf(dir.filePath("big.jpg")));
        QCOMPARE(view.state().importBuffer.width, 4000u);
        view.send(MethodId::EncodePicture, testsupport::bytesOf(dir.filePath("out.webp")));
        QCOMPARE(failed.count(), 1);
        QVERIFY(QFile::exists(dir.filePath("out.webp")));
    }
};

QTEST_MAIN(TestBombs)
#include "tst_bombs.moc"
