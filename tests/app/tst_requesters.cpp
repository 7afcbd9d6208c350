// The requesters: result codes and texts, the join rule, and how the file dialog is set up.

#include "app/FileDialogRequester.h"
#include "TestDoubles.h"
#include "core/Paths.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QtTest>

#include <deque>

using namespace quorvanta;


class TestRequesters : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void join_data();
    void join();
    void codesAndTexts();
    void optionsReachTheDialog();
    void nameFilters_data();
    void nameFilters();
    void dialogSetUp();
    void chosenPathSplit();
    void startFolder_data();
    void startFolder();
    void proposedName_data();
    void proposedName();
    void folderLastUsed();
};

void TestRequesters::join_data()
{
    QTest::addColumn<QString>("drawer");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::newRow("volume root") << "RAM:" << "pic.webp" << "RAM:pic.webp";
    QTest::newRow("drawer in a volume") << "Work:Pictures" << "pic.webp" << "Work:Pictures/pic.webp";
    QTest::newRow("drawer alone keeps the separator") << "Work:Frames" << "" << "Work:Frames/";
    QTest::newRow("volume alone") << "RAM:" << "" << "RAM:";
    QTest::newRow("local directory") << "/tmp/pictures" << "a.webp" << "/tmp/pictures/a.webp";
    QTest::newRow("root directory") << "/" << "a.webp" << "/a.webp";
    QTest::newRow("directory ending in a colon") << "/tmp/x:" << "a.webp" << "/tmp/x:/a.webp";
    QTest::newRow("colon-slash inside a directory") << "/tmp/a:/b" << "c.webp" << "/tmp/a:/b/c.webp";
    QTest::newRow("empty drawer") << "" << "a.webp" << "/a.webp";
}

void TestRequesters::join()
{
    QFETCH(QString, drawer);
    QFETCH(QString, file);
    std::deque<RequestAnswer> script{chosen(drawer.toStdString(), file.toStdString())};
    std::vector<RequestOptions> asked;
    Requesters requesters(std::make_unique<ScriptedBackend>(script, asked));
    QCOMPARE(requesters.RequestFile("t", false, "#?", "ram:"), 1);
    QTEST(QString::fromStdString(requesters.pathBuffer()), "path");
}

void TestRequesters::codesAndTexts()
{
    const std::string longName(2000, 'n');
    std::deque<RequestAnswer> script{chosen("/tmp", "first.webp"), chosen("/tmp", "second.webp"),
                                     {RequestAnswer::Outcome::Cancelled, "/tmp", "ignored"},
                                     {RequestAnswer::Outcome::Failed, {}, {}}, chosen("/tmp", longName)};
    std::vector<RequestOptions> asked;
    Requesters requesters(std::make_unique<ScriptedBackend>(script, asked));
    QCOMPARE(requesters.pathBuffer(), "");
    QCOMPARE(requesters.RequestFile("a", false, "#?", "ram:"), 1);
    QCOMPARE(requesters.pathBuffer(), "/tmp/first.webp");
    // A second request overwrites the first path.
    QCOMPARE(requesters.RequestFile("a", false, "#?", "ram:"), 1);
    QCOMPARE(requesters.pathBuffer(), "/tmp/second.webp");
    // A cancel after a success leaves "0", not the earlier path.
    QCOMPARE(requesters.RequestDrawer("a", true, "#?", "ram:"), 0);
    QCOMPARE(requesters.pathBuffer(), "0");
    QCOMPARE(requesters.RequestFile("a", false, "#?", "ram:"), -1);
    QCOMPARE(requesters.pathBuffer(), "-1");
    // Paths of any length come through whole.
    QCOMPARE(requesters.RequestFile("a", true, "#?", "ram:"), 1);
    QCOMPARE(requesters.pathBuffer(), "/tmp/" + longName);

    Requesters without(nullptr);
    QCOMPARE(without.RequestDrawer("a", false, "#?", "ram:"), -1);
    QCOMPARE(without.pathBuffer(), "-1");
}

void TestRequesters::optionsReachTheDialog()
{
    std::deque<RequestAnswer> script{chosen("/d", "f"), chosen("/d", "")};
    std::vector<RequestOptions> asked;
    Requesters requesters(std::make_unique<ScriptedBackend>(script, asked));
    requesters.RequestFile("Save picture as...", true, "#?.(webp)", "ram:");
    requesters.RequestDrawer("Open image directory ...", true, "#?.(png)", "/somewhere");
    QCOMPARE(asked.size(), std::size_t{2});
    QCOMPARE(asked[0].title, "Save picture as...");
    QVERIFY(asked[0].saveMode);
    QVERIFY(!asked[0].drawersOnly);
    QCOMPARE(asked[0].pattern, "#?.(webp)");
    QCOMPARE(asked[0].initialDrawer, "ram:");
    QVERIFY(asked[1].drawersOnly);
    QCOMPARE(asked[1].initialDrawer, "/somewhere");
}

void TestRequesters::nameFilters_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("one") << "#?.(webp)" << QStringList{"*.webp", "*.WEBP"};
    QTest::newRow("several") << "#?.(png|JPG)" << QStringList{"*.png", "*.PNG", "*.jpg", "*.JPG"};
    QTest::newRow("anything") << "#?" << QStringList{"*"};
    QTest::newRow("empty alternatives") << "#?.()" << QStringList{"*"};
    QTest::newRow("other form passed on") << "*.txt" << QStringList{"*.txt"};
}

void TestRequesters::nameFilters()
{
    QFETCH(QString, pattern);
    QTEST(nameFiltersFromPattern(pattern), "filters");
}

void TestRequesters::dialogSetUp()
{
    QFileDialog open;
    configureFileDialog(open, {"Open WebP...", false, "#?.(webp|png)", "ram:", false});
    QCOMPARE(open.windowTitle(), "Open WebP...");
    QCOMPARE(open.labelText(QFileDialog::Accept), "OK");
    QCOMPARE(open.labelText(QFileDialog::Reject), "Cancel");
    QCOMPARE(QDir(open.directory()).canonicalPath(), QDir(QDir::tempPath()).canonicalPath());
    QVERIFY(open.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(open.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(open.fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(open.selectedNameFilter(), "*.webp *.WEBP *.png *.PNG");

    QFileDialog drawer;
    configureFileDialog(drawer, {"Open image directory ...", true, "#?.(png)", "ram:", true});
    QCOMPARE(drawer.acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(drawer.fileMode(), QFileDialog::Directory);
    QVERIFY(drawer.testOption(QFileDialog::ShowDirsOnly));
}

void TestRequesters::chosenPathSplit()
{
    const RequestAnswer file = answerFromChosenPath("/tmp/some dir/pic.webp", false);
    QCOMPARE(file.drawer, "/tmp/some dir");
    QCOMPARE(file.file, "pic.webp");
    const RequestAnswer directory = answerFromChosenPath("/tmp/frames/", true);
    QCOMPARE(directory.drawer, "/tmp/frames");
    QCOMPARE(joinPath(directory.drawer, directory.file), "/tmp/frames/");
}

void TestRequesters::startFolder_data()
{
    QTest::addColumn<QString>("drawer");
    QTest::addColumn<QString>("lastFolder");
    QTest::addColumn<QString>("initialFile");
    QTest::addColumn<QString>("start");
    const QString existing = QDir::homePath();
    QTest::newRow("first time: the temp folder") << "ram:" << "" << "" << QDir::tempPath();
    QTest::newRow("the folder last used") << "ram:" << existing << "" << existing;
    QTest::newRow("last used folder gone") << "RAM:" << "/nonexistent/folder" << "" << QDir::tempPath();
    QTest::newRow("another drawer as it is") << "/usr" << existing << "" << "/usr";
    QTest::newRow("beside a proposed file") << "ram:" << existing << "/usr/share/a.webp" << "/usr/share";
}

void TestRequesters::startFolder()
{
    QFETCH(QString, drawer);
    QFETCH(QString, lastFolder);
    QFETCH(QString, initialFile);
    RequestOptions options{"t", true, "#?", drawer, false, lastFolder, initialFile};
    QTEST(startDirectory(options), "start");
    QFileDialog dialog;
    configureFileDialog(dialog, options);
    QCOMPARE(dialog.directory().absolutePath(), QDir(startDirectory(options)).absolutePath());
    if (!initialFile.isEmpty())
        QCOMPARE(QFileInfo(dialog.selectedFiles().value(0)).fileName(), QFileInfo(initialFile).fileName());
}

void TestRequesters::proposedName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("proposal");
    QTest::newRow("picture") << "/home/u/pics/holiday.jpg" << "/home/u/pics/holiday.webp";
    QTest::newRow("two dots") << "/p/scan.2024.tiff" << "/p/scan.2024.webp";
    QTest::newRow("no extension") << "/p/picture" << "/p/picture.webp";
    QTest::newRow("directory") << "/p/frames" << "/p/frames.webp";
    QTest::newRow("directory with a slash") << "/p/frames/" << "/p/frames.webp";
    QTest::newRow("nothing on show") << "" << "";
}

void TestRequesters::proposedName()
{
    QFETCH(QString, source);
    QTEST(QString::fromStdString(proposedWebPName(source.toStdString())), "proposal");
}

void TestRequesters::folderLastUsed()
{
    std::deque<RequestAnswer> script{chosen("/a/b", "pic.png"), {}, chosen("/c/frames", ""), chosen("/d", "x.webp")};
    std::vector<RequestOptions> asked;
    Requesters requesters(std::make_unique<ScriptedBackend>(script, asked));
    std::vector<std::string> told;
    requesters.setFolderListener([&told](const std::string& folder) { told.push_back(folder); });
    requesters.setSource("/a/b/pic.png");
    requesters.RequestFile("Open WebP...", false, "#?", "ram:");
    requesters.RequestFile("Open WebP...", false, "#?", "ram:"); // cancelled: nothing changes
    requesters.RequestDrawer("Open image directory ...", true, "#?", "ram:");
    requesters.RequestFile("Save picture as...", true, "#?.(webp)", "ram:");
    QCOMPARE(asked.size(), std::size_t{4});
    // The drawer stays "ram:"; the folder last used comes with it.
    QCOMPARE(asked[0].lastFolder, "");
    QCOMPARE(asked[1].lastFolder, "/a/b");
    QCOMPARE(asked[2].lastFolder, "/a/b");
    QCOMPARE(asked[3].lastFolder, "/c"); // a directory chosen is used from its folder
    QCOMPARE(asked[3].initialDrawer, "ram:");
    // Only a save request proposes a name; opening a directory (a save requester too) does not.
    QCOMPARE(asked[0].initialFile, "");
    QCOMPARE(asked[2].initialFile, "");
    QCOMPARE(asked[3].initialFile, "/a/b/pic.webp");
    QCOMPARE(told, (std::vector<std::string>{"/a/b", "/c", "/d"}));
    QCOMPARE(requesters.lastUsedFolder(), "/d");
}

QTEST_MAIN(TestRequesters)
#include "tst_requesters.moc"
