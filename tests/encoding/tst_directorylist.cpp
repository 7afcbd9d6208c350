#include "PictureFixtures.h"
#include "core/Paths.h"
#include "encoding/DirectoryList.h"

#include <QtTest>

using namespace quorvanta;

class TestDirectoryList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void naturalOrder_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("numbers by value")
            << QStringList{"frame1.png", "frame2.png", "frame10.png", "frame100.png"};
        QTest::newRow("case ignored, exact name breaks ties")
            << QStringList{"a.png", "B.png", "FRAME.png", "Frame.png", "frame.png"};
        QTest::newRow("leading zeros") << QStringList{"f0.png", "f000.png", "f01.png", "f1.png", "f2.png"};
        QTest::newRow("prefix first") << QStringList{"f", "f.png", "f1", "f1a", "f1b", "f2"};
        QTest::newRow("several runs") << QStringList{"s1-9.png", "s1-10.png", "s2-1.png", "s10-1.png"};
        QTest::newRow("huge numbers")
            << QStringList{"n99999999999999999999.png", "n100000000000000000000.png"};
    }
    void naturalOrder()
    {
        QFETCH(QStringList, names);
        for (int i = 0; i < names.size(); ++i)
            for (int j = 0; j < names.size(); ++j) {
                const bool less = naturalLess(names[i].toStdString(), names[j].toStdString());
                QVERIFY2(less == (i < j), qPrintable(names[i] + " / " + names[j]));
            }
    }

    void listingSkipsDirectoriesAndIsTakenOnce()
    {
        QTemporaryDir dir;
        for (const char* name : {"frame10.png", "frame2.png", "Frame1.png", "notes.txt"})
            QVERIFY(testsupport::writeAll(dir.filePath(name), "x"));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(QFile::link(dir.filePath("sub"), dir.filePath("link-to-dir")));
        QVERIFY(QFile::link(dir.filePath("notes.txt"), dir.filePath("link-to-file")));

        const DirectoryListing listing = ListDirectory(dir.path().toStdString());
        QCOMPARE(CountDirectoryFiles(listing), 5);
        const std::vector<std::string> expected{"Frame1.png", "frame2.png", "frame10.png", "link-to-file",
                                                "notes.txt"};
        QVERIFY(listing.names == expected);
        // The list stays as taken: later changes to the directory do not move the frames.
        QVERIFY(QFile::remove(dir.filePath("frame2.png")));
        std::string name = "untouched";
        GetDirectoryFileName(listing, 2, name);
        QCOMPARE(QString::fromStdString(name), dir.filePath("frame2.png"));
        for (const int n : {0, -1, 6}) {
            name = "untouched";
            GetDirectoryFileName(listing, n, name);
            QCOMPARE(name, std::string("untouched"));
        }
    }

    void pathsThatAreNoDirectory()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("picture.png");
        QVERIFY(testsupport::writeAll(file, "x"));
        const DirectoryListing ofFile = ListDirectory(file.toStdString());
        QCOMPARE(CountDirectoryFiles(ofFile), 0);
        QVERIFY(ofFile.pathIsFile);
        const DirectoryListing missing = ListDirectory(dir.filePath("missing").toStdString());
        QCOMPARE(CountDirectoryFiles(missing), 0);
        QVERIFY(!missing.pathIsFile);
        QCOMPARE(CountDirectoryFiles(ListDirectory({})), 0);
    }

    void joining()
    {
        QCOMPARE(joinPath("/tmp/pictures", "a.png"), std::string("/tmp/pictures/a.png"));
        QCOMPARE(joinPath("/tmp/pictures/", "a.png"), std::string("/tmp/pictures/a.png"));
        QCOMPARE(joinPath("work:", "a.png"), std::string("work:a.png"));
        QTemporaryDir dir;
        QVERIFY(testsupport::writeAll(dir.filePath("a.png"), "x"));
        const DirectoryListing listing = ListDirectory(dir.path().toStdString() + "/");
        std::string name;
        GetDirectoryFileName(listing, 1, name);
        QCOMPARE(QString::fromStdString(name), dir.filePath("a.png"));
    }
};

QTEST_GUILESS_MAIN(TestDirectoryList)
#include "tst_directorylist.moc"
