// The main window as a picture viewer: the View menu and its keys, the status bar, sizes that fit the
// screen, next and previous picture, "Open recent", the slider's track and fullscreen.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/PictureFolder.h"
#include "pictureview/PictureView.h"

#include "TestSupport.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvanta;

namespace {

class CancellingBackend : public RequesterBackend {
public:
    RequestAnswer ask(const RequestOptions&) override { return {}; }
};

// A shell over scratch stores that outlive it, so that a second run reads what the first kept.
struct Run {
    explicit Run(const QTemporaryDir& folder)
        : shell(nullptr, Stores(folder.filePath("run"), folder.filePath("config")), std::make_unique<CancellingBackend>())
    {
        shell.start();
        // Loading off the GUI thread is tested on its own: here each command has ended when it returns.
        view().setJobRunner(JobRunner());
    }
    Shell shell;
    MainWindow& window() { return *shell.mainWindow(); }
    PictureView& view() { return *shell.pictureView(); }
    void load(const QString& path) { view().send(MethodId::Load, path.toStdString()); }
};

bool savePicture(const QString& path, QSize size, QColor colour = Qt::darkCyan)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    return picture.save(path, "PNG");
}

QString sizeText(const QString& path)
{
    return QLocale::c().formattedDataSize(QFileInfo(path).size(), 1);
}

QStringList itemsOf(QMenu* menu)
{
    QStringList items;
    for (QAction* item : menu->actions())
        items << (item->isSeparator() ? QStringLiteral("---")
                                      : item->text() + QLatin1Char('|') + item->shortcuts().value(0).toString());
    return items;
}

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void viewMenuAndKeys()
    {
        QTemporaryDir folder;
        Run run(folder);
        MainWindow& w = run.window();
        QStringList titles;
        for (QAction* title : w.menuBar()->actions())
            titles << title->text();
        QCOMPARE(titles, (QStringList{"Project", "View", "Settings"}));
        QCOMPARE(itemsOf(w.viewMenu),
                 (QStringList{"Fit to window|F", "Actual size|Ctrl+0", "Zoom in|Ctrl++", "Zoom out|Ctrl+-",
                              "Stretch to window|", "---", "Fullscreen|F11", "Enlarge small pictures|",
                              "Transparency|", "Colour management|", "---", "Next picture|PgDown",
                              "Previous picture|PgUp"}));
        QCOMPARE(itemsOf(w.menuBar()->actions().value(0)->menu()).mid(1, 3),
                 (QStringList{"Open directory...|Ctrl+D", "Open recent|", "About...|Ctrl+I"}));
        QVERIFY(w.viewItems.fit->isChecked());
        QVERIFY(w.viewItems.backgroundColour->isChecked());

        // The keys reach the picture area, and the menu shows what is in force.
        QVERIFY(savePicture(folder.filePath("p.png"), QSize(400, 300)));
        run.load(folder.filePath("p.png"));
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            QSKIP("this platform does not activate windows");
        QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(run.view().view().zoom(), 1.0);
        QVERIFY(w.viewItems.actualSize->isChecked() && !w.viewItems.fit->isChecked());
        QTest::keyClick(&w, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(run.view().view().zoom(), 1.5);
        QVERIFY(!w.viewItems.actualSize->isChecked());
        QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(&w, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(run.view().view().zoom(), 2.0 / 3);
        QTest::keyClick(&w, Qt::Key_F);
        QCOMPARE(run.view().viewChoice().scaling, Scaling::Fit);
        QVERIFY(w.viewItems.fit->isChecked());
        // Fullscreen hides the bars and keeps the keys; Escape leaves it.
        QTest::keyClick(&w, Qt::Key_F11);
        QVERIFY(w.windowState() & Qt::WindowFullScreen);
        QVERIFY(w.menuBar()->isHidden() && w.statusBar()->isHidden());
        QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(run.view().viewChoice().scaling, Scaling::Zoom);
        QSignalSpy opening(&run.view(), &PictureView::methodReceived);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(opening.count(), 1);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!(w.windowState() & Qt::WindowFullScreen));
        QVERIFY(!w.menuBar()->isHidden() && !w.statusBar()->isHidden());
        QVERIFY(!w.viewItems.fullscreen->isChecked());
    }

    void viewChoiceAndRecentPathsPersist()
    {
        QTemporaryDir folder;
        QStringList opened;
        {
            Run run(folder);
            run.window().viewItems.stretch->trigger();
            run.window().viewItems.enlargeSmall->trigger();
            run.window().viewItems.checkerboard->trigger();
            // Colour management is on until turned off.
            QVERIFY(run.window().viewItems.colourManagement->isChecked() && run.view().colourManaged());
            run.window().viewItems.colourManagement->trigger();
            QVERIFY(!run.view().colourManaged());
            for (int i = 1; i <= 12; ++i) {
                opened.prepend(folder.filePath(QStringLiteral("p%1.png").arg(i)));
                QVERIFY(savePicture(opened.front(), QSize(4, 4)));
                run.load(opened.front());
            }
            run.load(opened.last()); // opened again: first, and only once
            opened.move(opened.size() - 1, 0);
            QVERIFY(QDir(folder.path()).mkdir("frames"));
            run.view().send(MethodId::LoadDirectory, folder.filePath("frames/").toStdString());
            opened.prepend(folder.filePath("frames"));
            run.shell.teardown();
        }
        Run run(folder);
        const ViewChoice choice = run.view().viewChoice();
        QCOMPARE(choice.scaling, Scaling::Stretch);
        QVERIFY(choice.enlargeSmall && choice.checkerboard);
        QVERIFY(run.window().viewItems.stretch->isChecked() && run.window().viewItems.checkerboard->isChecked());
        QVERIFY(!run.window().viewItems.colourManagement->isChecked() && !run.view().colourManaged());
        QStringList recent;
        for (QAction* item : run.window().recentMenu->actions())
            recent << item->text();
        QCOMPARE(recent, opened.mid(0, 10));
        // A directory in the list opens as a directory, a file as a file.
        run.window().recentMenu->actions().value(0)->trigger();
        QCOMPARE(run.view().mode(), Mode::Directory);
        run.window().recentMenu->actions().value(1)->trigger();
        QCOMPARE(run.view().state().path, opened[1].toStdString());
        QCOMPARE(run.view().mode(), Mode::Imported);
    }

    void statusLineTellsWhatIsOnShow()
    {
        REQUIRE_TOOL("cwebp");
        REQUIRE_TOOL("img2webp");
        QTemporaryDir folder;
        Run run(folder);
        QLabel* status = run.window().statusText;
        QLabel* frame = run.window().frameText;

        QVERIFY(savePicture(folder.filePath("still.png"), QSize(64, 48)));
        const QString still = folder.filePath("still.webp");
        QVERIFY(testsupport::run("cwebp", {"-quiet", folder.filePath("still.png"), "-o", still}));
        run.load(still);
        run.view().setViewChoice(ViewChoice{Scaling::Zoom, 2.0, false, false});
        QCOMPARE(status->text(), "still.webp  |  64 × 48  |  WebP lossy  |  " + sizeText(still) + "  |  200 %");
        QVERIFY(frame->isHidden());

        QStringList args{"-loop", "0", "-lossless"};
        for (int i = 1; i <= 3; ++i) {
            QImage frame(8, 6, QImage::Format_ARGB32);
            frame.fill(QColor(40 * i, 0, 0, i == 2 ? 128 : 255));
            QVERIFY(frame.save(folder.filePath(QStringLiteral("f%1.png").arg(i))));
            args << "-d" << QString::number(100 * i) << folder.filePath(QStringLiteral("f%1.png").arg(i));
        }
        const QString animation = folder.filePath("anim.webp");
        QVERIFY(testsupport::run("img2webp", args << "-o" << animation));
        run.load(animation);
        run.view().send(MethodId::Pause);
        run.window().frameSlider->setValue(3);
        QCOMPARE(status->text(), "anim.webp  |  8 × 6  |  WebP lossless, alpha, animated, 3 frames  |  " +
                                     sizeText(animation) + "  |  200 %");
        QCOMPARE(frame->text(), "frame 3 / 3  |  0.30 s, 300 ms");
        QVERIFY(!frame->isHidden());

        QVERIFY(QDir(folder.path()).mkdir("frames"));
        for (const char* name : {"a1.png", "a2.png", "a10.png"})
            QVERIFY(savePicture(folder.filePath(QStringLiteral("frames/") + name), QSize(30, 20)));
        run.view().send(MethodId::LoadDirectory, folder.filePath("frames").toStdString());
        run.view().send(MethodId::Pause);
        run.window().frameSlider->setValue(3);
        run.window().viewItems.fit->trigger();
        QCOMPARE(status->text(), "a10.png  |  30 × 20  |  PNG  |  " + sizeText(folder.filePath("frames/a10.png")) +
                                     "  |  100 %");
        QCOMPARE(frame->text(), "frame 3 / 3  |  2.00 s, 1000 ms");
    }

    void sizesFitTheScreen_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("available");
        QTest::newRow("large on a small screen") << QSize(1600, 1200) << QRect(0, 0, 640, 480);
        QTest::newRow("large on 1024 x 768") << QSize(1600, 1200) << QRect(0, 0, 1024, 768);
        QTest::newRow("wide, screen not at the origin") << QSize(3000, 400) << QRect(50, 30, 700, 500);
        QTest::newRow("small") << QSize(16, 16) << QRect(0, 0, 640, 480);
    }
    void sizesFitTheScreen()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, available);
        QTemporaryDir folder;
        Run run(folder);
        MainWindow& w = run.window();
        QVERIFY(savePicture(folder.filePath("p.png"), picture));
        run.load(folder.filePath("p.png"));
        w.move(available.right() - 10, available.bottom() - 10);
        w.adoptDefaultSize(available);
        QVERIFY2(available.contains(w.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
        QVERIFY(w.minimumSize().width() <= available.width() && w.minimumSize().height() <= available.height());
        QVERIFY(w.minimumSizeHint().width() <= available.width() && w.minimumSizeHint().height() <= available.height());
        // The picture whole, in its shape, at most at 100 %.
        QApplication::processEvents();
        const QRect shown = run.view().view().pictureRect();
        QVERIFY(QRect(QPoint(0, 0), run.view().view().areaSize()).contains(shown));
        QVERIFY(shown.width() <= picture.width());
        QVERIFY(qAbs(double(shown.width()) * picture.height() / picture.width() - shown.height()) <= 1.0);
        // The window takes the room it needs: a side of the picture meets a side of the room, or it is
        // at 100 %.
        QVERIFY(shown.size() == picture || w.frameGeometry().width() >= available.width() - 2 ||
                w.frameGeometry().height() >= available.height() - 2);
    }

    void storedSizeUsedOnlyWhileItFits()
    {
        QTemporaryDir folder;
        const Stores stores(folder.filePath("run"), folder.filePath("config"));
        {
            Run run(folder);
            run.window().setGeometry(100, 80, 500, 350);
            run.shell.teardown();
        }
        {
            Run run(folder);
            QCOMPARE(run.window().size(), QSize(500, 350));
            QVERIFY(!run.window().sizeForFirstPicture);
            // Left where the screen no longer reaches.
            run.window().move(5000, 4000);
            run.shell.teardown();
        }
        {
            Run run(folder);
            const QRect available = run.window().screen()->availableGeometry();
            QVERIFY(available.contains(run.window().frameGeometry()));
            QCOMPARE(run.window().size(), QSize(500, 350));
        }
        // A size larger than the screen is not used: the window sizes itself for the first picture.
        stores.write({{"Quorvanta01Size", QSize(5000, 4000)}}, Stores::Running);
        Run run(folder);
        QVERIFY(run.window().sizeForFirstPicture);
        const QRect available = run.window().screen()->availableGeometry();
        QVERIFY(available.contains(run.window().frameGeometry()));
    }

    void nextAndPreviousPicture()
    {
        QTemporaryDir folder;
        for (const char* name : {"pic10.png", "pic2.png", "Pic1.PNG", "b.webp", "notes.txt", "pic3.png"})
            QVERIFY(savePicture(folder.filePath(name), QSize(4, 4)));
        QVERIFY(QDir(folder.path()).mkdir("pic4.png")); // a folder, not a picture
        const auto name = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).fileName(); };
        QStringList order;
        for (const std::string& path : picturesIn(folder.path().toStdString()))
            order << name(path);
        QCOMPARE(order, (QStringList{"b.webp", "Pic1.PNG", "pic2.png", "pic3.png", "pic10.png"}));
        // From a file that is not among them, the neighbours by name.
        QCOMPARE(name(*neighbourPicture(folder.filePath("notes.txt").toStdString(), 1)), "Pic1.PNG");
        QCOMPARE(name(*neighbourPicture(folder.filePath("notes.txt").toStdString(), -1)), "b.webp");
        QVERIFY(!neighbourPicture(folder.filePath("pic10.png").toStdString(), 1));

        Run run(folder);
        MainWindow& w = run.window();
        run.load(folder.filePath("pic2.png"));
        QStringList visited;
        const auto step = [&](QAction* key) {
            key->trigger();
            visited << name(run.view().state().path);
        };
        step(w.viewItems.nextPicture);
        step(w.viewItems.nextPicture);
        step(w.viewItems.nextPicture); // the last stays
        step(w.viewItems.previousPicture);
        step(w.previousFrameKey); // the arrows step pictures while no animation is on show
        step(w.previousFrameKey);
        step(w.previousFrameKey);
        step(w.nextFrameKey);
        QCOMPARE(visited, (QStringList{"pic3.png", "pic10.png", "pic10.png", "pic3.png", "pic2.png", "Pic1.PNG",
                                       "b.webp", "Pic1.PNG"}));
        // "b.webp" is a PNG by its content: it is shown all the same.
        QCOMPARE(run.view().mode(), Mode::Imported);
    }

    void sliderTrackClickGoesToTheFrame()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("frames"));
        for (int i = 1; i <= 5; ++i)
            QVERIFY(savePicture(folder.filePath(QStringLiteral("frames/f%1.png").arg(i)), QSize(4, 4)));
        Run run(folder);
        run.view().send(MethodId::LoadDirectory, folder.filePath("frames").toStdString());
        run.view().send(MethodId::Pause);
        QSlider* slider = run.window().frameSlider;
        slider->setValue(5);
        QApplication::processEvents();
        // Near the start of the track: frame 1, not one page back.
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(3, slider->height() / 2));
        QCOMPARE(slider->value(), 1);
        QCOMPARE(run.view().state().currentFrame, 1);
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, slider->height() / 2));
        QCOMPARE(slider->value(), 3);
    }
};

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
