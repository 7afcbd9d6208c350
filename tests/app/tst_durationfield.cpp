// The frame duration field and the playback clock together, in the real windows: the longest duration
// the field takes, then 500, during directory playback; the frame on show leaves 500 ms after it came.

#include "app/Application.h"
#include "app/SettingsWindow.h"
#include "pictureview/PictureView.h"
#include "viewing/PlaybackClock.h"

#include "TestSupport.h"

#include <QImage>
#include <QLineEdit>
#include <QtTest>

using namespace quorvanta;

namespace {

class CancellingBackend : public RequesterBackend {
public:
    RequestAnswer ask(const RequestOptions&) override { return {}; }
};

} // namespace

class TestDurationField : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void longDurationThenShortInTheField()
    {
        QTemporaryDir folder;
        for (int i = 1; i <= 3; ++i) {
            QImage picture(4, 4, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 90, 200, 200));
            QVERIFY(picture.save(folder.filePath(QStringLiteral("f%1.png").arg(i))));
        }
        Shell shell(nullptr, Stores(folder.filePath("run"), folder.filePath("config")),
                    std::make_unique<CancellingBackend>());
        auto manual = std::make_unique<ManualPlaybackClock>();
        ManualPlaybackClock* clock = manual.get();
        shell.pictureView()->setClock(std::move(manual));
        shell.start();
        QList<qint64> shownAt;
        connect(shell.pictureView(), &PictureView::methodReceived, this, [&](MethodId id) {
            if (id == MethodId::ShowDirFrame)
                shownAt.append(clock->now());
        });
        shell.pictureView()->send(MethodId::LoadDirectory, folder.path().toStdString());
        clock->advance(Player::kFirstRequest); // frame 1 again, from the clock's first tick
        const qint64 frameCameAt = clock->now();

        shell.openWindowNamed(QStringLiteral("settings"));
        QLineEdit* field = shell.settingsWindow()->frameDurationField;
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::number(SettingsWindow::kLongestFrameDuration));
        QTest::keyClick(field, Qt::Key_Return);
        clock->advance(100000);
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("500"));
        QTest::keyClick(field, Qt::Key_Return);
        shownAt.clear();
        clock->advance(1000000);
        QCOMPARE(shownAt, (QList<qint64>{frameCameAt + 500000, frameCameAt + 1000000}));
    }
};

QTEST_MAIN(TestDurationField)
#include "tst_durationfield.moc"
