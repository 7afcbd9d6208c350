// The command line: template matching, the program's argument record, file: addresses.

#include "app/CommandLine.h"

#include <QtTest>

using namespace quorvanta;

Q_DECLARE_METATYPE(std::optional<std::int32_t>)

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programArguments_data();
    void programArguments();
    void failedParses_data();
    void failedParses();
    void helpRequests_data();
    void helpRequests();
    void lineSplitting();
    void argumentQuotes();
    void keyedItemsAndTemplates();
    void fileAddresses_data();
    void fileAddresses();
};

void TestCommandLine::programArguments_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::optional<std::int32_t>>("width");
    QTest::addColumn<std::optional<std::int32_t>>("height");
    QTest::addColumn<bool>("directory");
    using W = std::optional<std::int32_t>;
    QTest::newRow("path only") << "pic.webp" << "pic.webp" << W{} << W{} << false;
    QTest::newRow("keywords before the path") << "WIDTH 640 HEIGTH 480 picture.webp" << "picture.webp" << W{640}
                                              << W{480} << false;
    QTest::newRow("all by position") << "a.webp 320 200" << "a.webp" << W{320} << W{200} << false;
    QTest::newRow("equals and any case") << "webppath=a.webp width=7 heigth=-3" << "a.webp" << W{7} << W{-3} << false;
    QTest::newRow("keyword after positional width") << "a.webp 10 WIDTH 20" << "a.webp" << W{20} << W{10} << false;
    QTest::newRow("out-of-range sizes are the view's concern") << "a.webp WIDTH 0 HEIGTH 5000" << "a.webp" << W{0}
                                                               << W{5000} << false;
    QTest::newRow("DIR switch") << "frames DIR" << "frames" << W{} << W{} << true;
    QTest::newRow("switch in lower case first") << "dir frames" << "frames" << W{} << W{} << true;
    QTest::newRow("quoted path with blanks") << "\"my pictures/a b.webp\" WIDTH=9" << "my pictures/a b.webp" << W{9}
                                             << W{} << false;
    QTest::newRow("quoted value after equals") << "WEBPPATH=\"x y.webp\"" << "x y.webp" << W{} << W{} << false;
    QTest::newRow("a quoted keyword is a path") << "\"DIR\"" << "DIR" << W{} << W{} << false;
    QTest::newRow("HEIGHT, the usual spelling") << "a.webp HEIGHT 300" << "a.webp" << W{} << W{300} << false;
    QTest::newRow("height= in lower case") << "height=7 WIDTH=8 a.webp" << "a.webp" << W{8} << W{7} << false;
    QTest::newRow("negative number after a keyword is no option") << "a.webp WIDTH -5" << "a.webp" << W{-5} << W{}
                                                                   << false;
    QTest::newRow("a value that looks like an option") << "WEBPPATH -odd.webp" << "-odd.webp" << W{} << W{}
                                                       << false;
    QTest::newRow("32-bit limits") << "a WIDTH -2147483648 HEIGTH 2147483647" << "a" << W{INT32_MIN} << W{INT32_MAX}
                                   << false;
}

void TestCommandLine::programArguments()
{
    QFETCH(QString, line);
    const CommandLine result = parseCommandLine(wordsFromLine(line.toStdString()));
    QVERIFY(!result.helpRequested);
    QVERIFY(result.record.has_value());
    QTEST(QString::fromStdString(result.record->path), "path");
    QTEST(result.record->width, "width");
    QTEST(result.record->height, "height");
    QTEST(result.record->directory, "directory");
}

void TestCommandLine::failedParses_data()
{
    // What the one line on standard error says; nothing at all for an empty command line (a start
    // from the desktop).
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("problem");
    QTest::newRow("nothing") << "" << "";
    QTest::newRow("no path, only a size") << "WIDTH 10" << "WEBPPATH is missing";
    QTest::newRow("width not a number") << "a.webp WIDTH abc" << "\"abc\" is not a number for WIDTH";
    QTest::newRow("number with trailing text") << "a.webp WIDTH 12px" << "\"12px\" is not a number for WIDTH";
    QTest::newRow("sign alone") << "a.webp WIDTH -" << "\"-\" is not a number for WIDTH";
    QTest::newRow("beyond 32 bits") << "a.webp WIDTH 2147483648" << "\"2147483648\" is not a number for WIDTH";
    QTest::newRow("too many words") << "a.webp 1 2 extra" << "\"extra\" is one word too many";
    QTest::newRow("keyword without value") << "a.webp WIDTH" << "WIDTH needs a value";
    QTest::newRow("value given twice") << "a.webp WIDTH 1 WIDTH 2" << "WIDTH is given twice";
    QTest::newRow("both spellings of the height") << "a.webp HEIGTH 1 HEIGHT 2" << "HEIGTH is given twice";
    QTest::newRow("path given twice") << "WEBPPATH a b" << "\"b\" is not a number for WIDTH";
    QTest::newRow("switch with a value") << "a.webp DIR=1" << "DIR takes no value";
    QTest::newRow("switch twice") << "a.webp dir DIR" << "DIR is given twice";
    QTest::newRow("positional word that is not a number") << "a.webp b.webp" << "\"b.webp\" is not a number for WIDTH";
    QTest::newRow("unknown long option") << "a.webp --verbose" << "unknown option \"--verbose\"";
    QTest::newRow("unknown short option first") << "-x a.webp" << "unknown option \"-x\"";
}

void TestCommandLine::failedParses()
{
    QFETCH(QString, line);
    QFETCH(QString, problem);
    const CommandLine result = parseCommandLine(wordsFromLine(line.toStdString()));
    QVERIFY(!result.helpRequested);
    QVERIFY(!result.record.has_value());
    const QString expected = problem.isEmpty() ? QString() : problem + " (see --help)";
    QCOMPARE(QString::fromStdString(result.problem), expected);
}

void TestCommandLine::helpRequests_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::newRow("--help") << QStringList{"--help"} << true << false;
    QTest::newRow("-h after a path") << QStringList{"a.webp", "-h"} << true << false;
    QTest::newRow("?") << QStringList{"?"} << true << false;
    QTest::newRow("? as a second word is a value") << QStringList{"a.webp", "?"} << false << false;
    QTest::newRow("quoted --help is a path") << QStringList{"\"--help\""} << false << false;
    QTest::newRow("--version") << QStringList{"--version"} << false << true;
    QTest::newRow("--version after a path") << QStringList{"a.webp", "--version"} << false << true;
    QTest::newRow("quoted --version is a path") << QStringList{"\"--version\""} << false << false;
}

void TestCommandLine::helpRequests()
{
    QFETCH(QStringList, arguments);
    std::vector<std::string> words;
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    const CommandLine result = parseCommandLine(wordsFromArguments(words));
    QTEST(result.helpRequested, "help");
    QTEST(result.versionRequested, "version");
    if (result.helpRequested || result.versionRequested)
        QVERIFY(result.problem.empty()); // no complaint about the rest of the line
    QVERIFY(usageText().starts_with("WEBPPATH/A,WIDTH/N,HEIGTH/N,DIR/S\n"));
    QCOMPARE(versionText(), std::string("Quorvanta ") + QUORVANTA_VERSION + "\n");
}

void TestCommandLine::lineSplitting()
{
    const auto words = wordsFromLine("  one \"two three\"\tKEY=\"a b\" \"unterminated x");
    QCOMPARE(words.size(), std::size_t{4});
    QCOMPARE(words[0].text, "one");
    QVERIFY(!words[0].quoted);
    QCOMPARE(words[1].text, "two three");
    QVERIFY(words[1].quoted);
    QCOMPARE(words[2].text, "KEY=\"a b\"");
    QCOMPARE(words[3].text, "unterminated x");
}

void TestCommandLine::argumentQuotes()
{
    // Arguments arrive one per word from the system; literal quotes that survived are taken off.
    const auto words = wordsFromArguments({"\"a b.webp\"", "plain", "\"", "WIDTH"});
    QCOMPARE(words[0].text, "a b.webp");
    QVERIFY(words[0].quoted);
    QCOMPARE(words[1].text, "plain");
    QCOMPARE(words[2].text, "\"");
    QVERIFY(!words[3].quoted);
    // A path with blanks as one argument, as a desktop launcher hands it over.
    const auto record = parseCommandLine(wordsFromArguments({"/home/me/My Pictures/a.webp"})).record;
    QVERIFY(record);
    QCOMPARE(record->path, "/home/me/My Pictures/a.webp");
}

void TestCommandLine::keyedItemsAndTemplates()
{
    const auto items = parseTemplate("FROM/A,TO/K,QUIET/S,COUNT/N/K");
    QVERIFY(items);
    QCOMPARE(items->size(), std::size_t{4});
    QVERIFY((*items)[1].keyed);
    QVERIFY((*items)[3].numeric && (*items)[3].keyed);
    // A /K item takes no positional value.
    QVERIFY(!matchTemplate(*items, wordsFromLine("src dst")));
    const auto parsed = matchTemplate(*items, wordsFromLine("src to dst count=4 quiet"));
    QVERIFY(parsed);
    QCOMPARE((*parsed)[1].text, "dst");
    QCOMPARE((*parsed)[3].number, 4);
    QVERIFY((*parsed)[2].present);
    // A second keyword for the same item.
    const auto aliased = parseTemplate("NAME=TITLE=LABEL/K,N/N");
    QVERIFY(aliased);
    QCOMPARE((*aliased)[0].keyword, "NAME");
    QCOMPARE((*aliased)[0].aliases, (std::vector<std::string>{"TITLE", "LABEL"}));
    QCOMPARE((*matchTemplate(*aliased, wordsFromLine("label=x")))[0].text, "x");
    QVERIFY(!parseTemplate("A=/N"));
    QVERIFY(!parseTemplate("A,,B"));
    QVERIFY(!parseTemplate("A/X"));
    QVERIFY(!parseTemplate("A/"));
}

void TestCommandLine::fileAddresses_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain path") << "/tmp/a.webp" << "/tmp/a.webp";
    QTest::newRow("file address with escapes") << "file:///tmp/My%20Pictures/a%2Bb.webp" << "/tmp/My Pictures/a+b.webp";
    QTest::newRow("localhost") << "FILE://localhost/tmp/x.webp" << "/tmp/x.webp";
    QTest::newRow("short form") << "file:/tmp/x.webp" << "/tmp/x.webp";
    QTest::newRow("non-UTF-8 byte kept") << "file:///tmp/%E9.webp" << QString::fromLatin1("/tmp/\xE9.webp");
    QTest::newRow("bad escape left alone") << "file:///tmp/100%.webp" << "/tmp/100%.webp";
    QTest::newRow("another host is not local") << "file://server/x.webp" << "file://server/x.webp";
    QTest::newRow("NUL is refused") << "file:///tmp/a%00b" << "file:///tmp/a%00b";
    QTest::newRow("relative name starting with file") << "file.webp" << "file.webp";
}

void TestCommandLine::fileAddresses()
{
    QFETCH(QString, argument);
    QFETCH(QString, path);
    const std::string expected = path.toLatin1().toStdString();
    QCOMPARE(localPathFromArgument(argument.toStdString()), expected);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
