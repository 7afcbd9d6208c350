// The preview button in the real windows: it turns the preview on, an edit in the settings window makes
// a new one on the worker threads, and opening another picture lets the button go.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "pictureview/PictureView.h"

#include "PictureFixtures.h"
#include "TestDoubles.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace quorvanta;

class TestPreviewPanel : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    static void settle()
    {
        JobRunner::waitForIdle(std::chrono::seconds(30));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void buttonAndSettingsDriveThePreview()
    {
        std::deque<RequestAnswer> answers;
        std::vector<RequestOptions> asked;
        Shell shell(nullptr, Stores(folder.filePath("run"), folder.filePath("config")),
                    std::make_unique<ScriptedBackend>(answers, asked));
        shell.start();
        MainWindow& window = *shell.mainWindow();
        PictureView& view = *shell.pictureView();
        const QString first = folder.filePath("first.png"), second = folder.filePath("second.png");
        QVERIFY(fixtures::savePng(fixtures::makePicture(96, 64, false, 4), first));
        QVERIFY(fixtures::savePng(fixtures::makePicture(32, 32, false, 5), second));
        view.send(MethodId::Load, first.toStdString());
        settle();
        QVERIFY(window.previewButton->isVisible());

        QTest::mouseClick(window.previewButton, Qt::LeftButton);
        settle();
        QVERIFY(view.previewOn() && view.preview());
        QVERIFY2(window.messageText->text().contains("% of the source"), qPrintable(window.messageText->text()));
        const std::vector<std::uint8_t> before = view.preview()->file;

        // A quality typed in the settings window is a new preview; a text the field refuses is none.
        shell.settingsWindow()->qualityField->setText(QStringLiteral("95"));
        settle();
        QVERIFY(view.preview() && view.preview()->file != before);
        const std::vector<std::uint8_t> atNinetyFive = view.preview()->file;
        shell.settingsWindow()->qualityField->setText(QStringLiteral("950"));
        settle();
        QVERIFY(view.preview() && view.preview()->file == atNinetyFive);

        view.send(MethodId::Load, second.toStdString());
        settle();
        QVERIFY(!view.previewOn());
        QVERIFY(!window.previewButton->isChecked());
    }
};

QTEST_MAIN(TestPreviewPanel)
#include "tst_previewpanel.moc"
