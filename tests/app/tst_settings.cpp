// The settings window and the two stores: defaults, Save / Use / Cancel, what a restart shows, stores
// holding values of the wrong kind, the fields' ranges and the frame duration's typing pause.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "app/Stores.h"
#include "core/DecodeBudget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvanta;

namespace {

// Scratch running and permanent stores; each shell made from them is one run of the program.
struct Places {
    QTemporaryDir folder;
    Stores stores() const { return Stores(folder.filePath("run"), folder.filePath("config")); }
    std::unique_ptr<Shell> start() const
    {
        auto shell = std::make_unique<Shell>(nullptr, stores());
        shell->start();
        return shell;
    }
    QVariant inFile(const QString& path, const QString& key) const
    {
        if (!QFile::exists(path))
            return {};
        return QSettings(path, QSettings::IniFormat).value(key);
    }
    QVariant running(const QString& key) const { return inFile(stores().runningFile(), key); }
    QVariant permanent(const QString& key) const { return inFile(stores().permanentFile(), key); }
};

void writeIni(const QString& path, const QByteArray& text)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

constexpr ColorButton::Components kWhite{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartDefaults();
    void gadgetsHelpAndReading();
    void useThenRestart();
    void saveWritesBothStores();
    void fieldRanges_data();
    void fieldRanges();
    void keystrokesOutsideTheRangeAreRefused();
    void invalidFieldIsDrawnMarked();
    void frameDurationWaitsForTheEndOfTyping();
    void cancelRestoresValuesAtOpen();
    void escapeIsCancel();
    void runningStoreFirstPerKey();
    void unusableStoredValues_data();
    void unusableStoredValues();
    void colourComponents();
    void decodeBudgetField();
    void defaultFolders();
};

void TestSettings::firstStartDefaults()
{
    Places places;
    auto shell = places.start();
    const SettingsWindow& s = *shell->settingsWindow();
    QCOMPARE(s.windowTitle(), "Settings");
    QVERIFY(!s.lossless());
    QVERIFY(!s.mixed());
    QCOMPARE(s.quality(), 50);
    QCOMPARE(s.speed(), 0);
    QCOMPARE(s.backgroundColor(), kWhite);
    QCOMPARE(s.frameDurationText(), "1000");
    QCOMPARE(s.frameDuration(), 1000);
    QCOMPARE(s.loopCount(), 0);
    QCOMPARE(s.filterStrength(), 0);
    QCOMPARE(s.filterSharpness(), 0);
    QVERIFY(s.applyOrientation());
    QCOMPARE(s.keepMetadata(), KeepMetadata::ColourProfile);
    QCOMPARE(s.targetSize(), 0);
    // Starting writes no settings to either store.
    QVERIFY(!places.running("2").isValid());
    QVERIFY(!QFile::exists(places.stores().permanentFile()));
}

void TestSettings::gadgetsHelpAndReading()
{
    SettingsWindow s;
    QCOMPARE(s.qualityField->toolTip(), "between 0 (smallest file) and 100 (biggest)");
    QCOMPARE(s.speedField->toolTip(), "quality/speed trade-off (0=fast, 6=slower-better)");
    QCOMPARE(s.frameDurationField->toolTip(), "duration of the frame (in milliseconds).");
    QCOMPARE(s.loopCountField->toolTip(), "Number of times to repeat the animation [0 = infinite].");
    QCOMPARE(s.filterStrengthField->toolTip(), " range: [0 = off .. 100 = strongest]");
    QCOMPARE(s.filterSharpnessField->toolTip(), "range: [0 = off .. 7 = least sharp]");
    QStringList labels;
    for (QLabel* label : s.findChildren<QLabel*>())
        if (label->buddy())
            labels << label->text();
    QCOMPARE(labels, (QStringList{"lossless", "mixed", "Quality", "Speed trade-off", "Background color",
                                  "Frame duration (ms) ", "Loop count", "Strength", "Sharpness",
                                  "Apply EXIF orientation", "Keep metadata", "Target size (KB)",
                                  "Decode budget (MiB)"}));
    // A text a field cannot hold is not taken: readers keep the value in force.
    s.qualityField->setText("  +75abc");
    s.speedField->setText("fast");
    s.loopCountField->setText("-3");
    QCOMPARE(s.quality(), 50);
    QCOMPARE(s.speed(), 0);
    QCOMPARE(s.loopCount(), 0);
    s.qualityField->setText("75");
    QCOMPARE(s.quality(), 75);
}

void TestSettings::fieldRanges_data()
{
    QTest::addColumn<int>("exportId");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    const QString longest = QString::number(SettingsWindow::kLongestFrameDuration);
    const QString beyond = QString::number(SettingsWindow::kLongestFrameDuration + 1);
    const struct {
        int id;
        const char* name;
        const char* low;
        const char* high;
        const char* below;
        const char* above;
    } ranges[] = {{2, "quality", "0", "100", nullptr, "101"},       {3, "speed", "0", "6", nullptr, "7"},
                  {6, "loop count", "0", "65535", nullptr, "65536"}, {7, "strength", "0", "100", nullptr, "101"},
                  {8, "sharpness", "0", "7", nullptr, "8"},          {5, "frame duration", "1", nullptr, "0", nullptr},
                  {13, "target size", "0", "1000000", nullptr, "1000001"}};
    for (const auto& r : ranges) {
        QTest::addRow("%s lowest", r.name) << r.id << r.low << true;
        if (r.high)
            QTest::addRow("%s highest", r.name) << r.id << r.high << true;
        if (r.below)
            QTest::addRow("%s below", r.name) << r.id << r.below << false;
        if (r.above)
            QTest::addRow("%s above", r.name) << r.id << r.above << false;
        QTest::addRow("%s letters", r.name) << r.id << "abc" << false;
        QTest::addRow("%s trailing letters", r.name) << r.id << "12x" << false;
        QTest::addRow("%s empty", r.name) << r.id << "" << false;
        QTest::addRow("%s negative", r.name) << r.id << "-3" << false;
    }
    // The clock holds a duration as 32-bit microseconds.
    QTest::newRow("frame duration the clock's longest") << 5 << longest << true;
    QTest::newRow("frame duration beyond the clock") << 5 << beyond << false;
    QTest::newRow("frame duration 99999999999") << 5 << "99999999999" << false;
    QTest::newRow("a blank inside") << 2 << "4 2" << false;
    QTest::newRow("leading zeros") << 2 << "007" << true;
}

void TestSettings::fieldRanges()
{
    QFETCH(int, exportId);
    QFETCH(QString, text);
    QFETCH(bool, taken);
    SettingsWindow s;
    QLineEdit* fields[] = {nullptr, nullptr, s.qualityField, s.speedField, nullptr, s.frameDurationField,
                           s.loopCountField, s.filterStrengthField, s.filterSharpnessField, nullptr,
                           s.decodeBudgetField, nullptr, nullptr, s.targetSizeField};
    QLineEdit* field = fields[exportId];
    const QString help = field->toolTip();
    const QString before = s.values().value(QString::number(exportId)).toString();
    field->setText(text);
    const QString inForce = s.values().value(QString::number(exportId)).toString();
    QCOMPARE(inForce, taken ? text : before);
    QCOMPARE(field->property("invalid").toBool(), !taken);
    const auto [low, high] = SettingsWindow::rangeOf(exportId);
    if (taken) {
        QCOMPARE(field->toolTip(), help);
    } else {
        // The tooltip names the range and what stays in force.
        QVERIFY2(field->toolTip().contains(QStringLiteral("from %1 to %2").arg(low).arg(high)),
                 qPrintable(field->toolTip()));
        QVERIFY2(field->toolTip().contains(before + " stays in force"), qPrintable(field->toolTip()));
    }
    // A good value afterwards clears the mark.
    field->setText(QString::number(low));
    QVERIFY(!field->property("invalid").toBool());
    QCOMPARE(field->toolTip(), help);
}

void TestSettings::keystrokesOutsideTheRangeAreRefused()
{
    SettingsWindow s;
    s.qualityField->clear();
    QTest::keyClicks(s.qualityField, "1a-2x");
    QCOMPARE(s.qualityField->text(), "12");
    QCOMPARE(s.quality(), 12);
    // Digits beyond the range can be typed (on the way to another number) but are marked, not taken.
    QTest::keyClicks(s.qualityField, "34");
    QCOMPARE(s.qualityField->text(), "1234");
    QVERIFY(s.qualityField->property("invalid").toBool());
    QCOMPARE(s.quality(), 12);
    // Leaving the field keeps the text as typed, still marked; nothing is stored from it.
    QCOMPARE(s.values().value("2").toString(), "12");
}

void TestSettings::invalidFieldIsDrawnMarked()
{
    SettingsWindow s;
    s.resize(s.sizeHint());
    s.show();
    auto redness = [](QLineEdit* field) {
        const QImage image = field->grab().toImage();
        const QColor edge = image.pixelColor(1, image.height() / 2);
        return edge.red() - (edge.green() + edge.blue()) / 2;
    };
    const int plain = redness(s.qualityField);
    s.qualityField->setText("1000");
    QVERIFY2(redness(s.qualityField) > plain + 60, qPrintable(QString::number(redness(s.qualityField))));
    s.qualityField->setText("100");
    QCOMPARE(redness(s.qualityField), plain);
}

void TestSettings::frameDurationWaitsForTheEndOfTyping()
{
    SettingsWindow s;
    s.show();
    QSignalSpy applied(&s, &SettingsWindow::frameDurationChanged);
    QLineEdit* field = s.frameDurationField;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "200");
    // Neither 2 nor 20 was played on the way; the pause timer waits for more typing.
    QCOMPARE(applied.count(), 0);
    QCOMPARE(s.frameDurationText(), "1000");
    QVERIFY(s.typingPause->isActive());
    QCOMPARE(s.typingPause->interval(), SettingsWindow::kTypingPause);
    s.applyFrameDuration(); // what the end of the pause does
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.takeFirst().at(0).toString(), "200");
    QVERIFY(!s.typingPause->isActive());

    // Return ends the editing at once.
    QTest::keyClicks(field, "0");
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.takeFirst().at(0).toString(), "2000");

    // The pause timer is what applies typing that just stops.
    s.typingPause->setInterval(0);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTRY_COMPARE(applied.count(), 1);
    QCOMPARE(applied.takeFirst().at(0).toString(), "200");

    // A duration beyond the clock is marked and never reaches it, however editing ends.
    field->selectAll();
    QTest::keyClicks(field, "99999999999");
    QVERIFY(field->property("invalid").toBool());
    QVERIFY(!s.typingPause->isActive());
    QTest::keyClick(field, Qt::Key_Return);
    s.applyFrameDuration();
    QCOMPARE(applied.count(), 0);
    QCOMPARE(s.frameDuration(), 200);

    // Text the program sets is taken at once.
    field->setText("40");
    QCOMPARE(applied.count(), 1);
    QCOMPARE(s.frameDurationText(), "40");
}

void TestSettings::useThenRestart()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        s.qualityField->setText("90");
        s.mixedCheck->setChecked(true);
        s.losslessCheck->setChecked(true);
        s.backgroundColorField->setComponents({0x12121212u, 0, 0xFFFFFFFFu});
        s.orientationCheck->setChecked(false);
        s.keepMetadataBox->setCurrentIndex(2);
        s.targetSizeField->setText("80");
        QTest::mouseClick(s.useButton, Qt::LeftButton);
    }
    QCOMPARE(places.running("2").toString(), "90");
    QCOMPARE(places.running("11").toString(), "false");
    QCOMPARE(places.running("12").toString(), "all");
    QCOMPARE(places.running("13").toString(), "80");
    QCOMPARE(places.running("9").toString(), "true"); // mixed: the key after the eight of before
    QVERIFY(!places.permanent("2").isValid());
    auto shell = places.start();
    const SettingsWindow& s = *shell->settingsWindow();
    QCOMPARE(s.qualityField->text(), "90");
    QVERIFY(s.lossless());
    QVERIFY(s.mixed());
    QVERIFY(!s.mixedCheck->isEnabled()); // it applies only while lossless is off
    QCOMPARE(s.backgroundColor(), (ColorButton::Components{0x12121212u, 0, 0xFFFFFFFFu}));
    QCOMPARE(s.frameDurationText(), "1000");
    QVERIFY(!s.applyOrientation());
    QCOMPARE(s.keepMetadata(), KeepMetadata::All);
    QCOMPARE(s.targetSize(), 80);
}

void TestSettings::saveWritesBothStores()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        shell->settingsWindow()->show();
        s.frameDurationField->setText("40");
        QTest::mouseClick(s.saveButton, Qt::LeftButton);
        QVERIFY(s.isVisible()); // the window stays open
    }
    QCOMPARE(places.running("5").toString(), "40");
    QCOMPARE(places.permanent("5").toString(), "40");
    // After a reboot the running store is gone: the permanent one is read.
    QVERIFY(QFile::remove(places.stores().runningFile()));
    auto shell = places.start();
    QCOMPARE(shell->settingsWindow()->frameDurationText(), "40");
}

void TestSettings::cancelRestoresValuesAtOpen()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        s.frameDurationField->setText("300"); // before the window opens: the value Cancel goes back to
        s.show();
        QSignalSpy restored(&s, &SettingsWindow::restored);
        QSignalSpy duration(&s, &SettingsWindow::frameDurationChanged);
        s.qualityField->setText("90");
        s.losslessCheck->setChecked(true);
        QVERIFY(!s.mixedCheck->isEnabled());
        s.mixedCheck->setChecked(true);
        s.backgroundColorField->setComponents({0, 0, 0});
        s.frameDurationField->setText("200");
        s.loopCountField->setText("70000"); // not taken, and shown again as what is in force
        QCOMPARE(s.quality(), 90); // in effect at once
        QTest::mouseClick(s.cancelButton, Qt::LeftButton);
        QVERIFY(!s.isVisible());
        QCOMPARE(restored.count(), 1);
        QCOMPARE(s.quality(), 50);
        QCOMPARE(s.qualityField->text(), "50");
        QVERIFY(!s.lossless());
        QVERIFY(!s.mixed());
        QVERIFY(s.mixedCheck->isEnabled());
        QCOMPARE(s.backgroundColor(), kWhite);
        QCOMPARE(s.loopCountField->text(), "0");
        QVERIFY(!s.loopCountField->property("invalid").toBool());
        // Whoever plays at the frame duration is told to go back to it.
        QCOMPARE(s.frameDurationText(), "300");
        QCOMPARE(duration.count(), 2);
        QCOMPARE(duration.last().at(0).toString(), "300");

        // A typed duration still waiting for its pause is dropped, even when it reads as the old one.
        s.show();
        s.frameDurationField->setText("500");
        s.frameDurationField->setFocus();
        s.frameDurationField->selectAll();
        QTest::keyClicks(s.frameDurationField, "300");
        QTest::mouseClick(s.cancelButton, Qt::LeftButton);
        QCOMPARE(s.frameDurationText(), "300");
        QVERIFY(!s.typingPause->isActive());

        // What was used is what a later Cancel goes back to.
        s.show();
        s.qualityField->setText("80");
        QTest::mouseClick(s.useButton, Qt::LeftButton);
        s.qualityField->setText("10");
        QTest::mouseClick(s.cancelButton, Qt::LeftButton);
        QCOMPARE(s.quality(), 80);
    }
    QCOMPARE(places.running("2").toString(), "80");
    QCOMPARE(places.running("5").toString(), "300");
}

void TestSettings::escapeIsCancel()
{
    Places places;
    auto shell = places.start();
    SettingsWindow& s = *shell->settingsWindow();
    s.show();
    s.speedField->setText("6");
    s.qualityField->setFocus();
    QTest::keyClick(s.qualityField, Qt::Key_Escape);
    QVERIFY(!s.isVisible());
    QCOMPARE(s.speed(), 0);
}

void TestSettings::runningStoreFirstPerKey()
{
    // A running store written only by the window places or the style must not hide the saved values.
    Places places;
    writeIni(places.stores().permanentFile(), "2=70\n3=4\n");
    writeIni(places.stores().runningFile(), "2=60\nQuorvanta01=@ByteArray(x)\n");
    auto shell = places.start();
    QCOMPARE(shell->settingsWindow()->quality(), 60);
    QCOMPARE(shell->settingsWindow()->speed(), 4);
}

void TestSettings::unusableStoredValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("flag not a flag") << QByteArray("1=maybe\n9=2\n");
    QTest::newRow("text field holding a list") << QByteArray("2=50,60\n");
    QTest::newRow("two colour components") << QByteArray("4=1, 2\n");
    QTest::newRow("colour component not a number") << QByteArray("4=1, x, 3\n");
    QTest::newRow("colour component beyond 32 bits") << QByteArray("4=1, 2, 4294967296\n");
    QTest::newRow("colour as one text") << QByteArray("4=white\n");
    QTest::newRow("orientation flag and metadata choice unknown") << QByteArray("11=perhaps\n12=everything\n");
    QTest::newRow("metadata choice as a list") << QByteArray("12=all, none\n");
    QTest::newRow("not an INI file at all") << QByteArray("\x00\x01\xff[[[=\n", 9);
    QTest::newRow("garbage place") << QByteArray("Quorvanta01=@ByteArray(garbage)\nQuorvanta03=12\n");
}

void TestSettings::unusableStoredValues()
{
    QFETCH(QByteArray, ini);
    Places places;
    writeIni(places.stores().runningFile(), ini);
    auto shell = places.start();
    const SettingsWindow& s = *shell->settingsWindow();
    QVERIFY(!s.lossless());
    QVERIFY(!s.mixed());
    QCOMPARE(s.qualityField->text(), "50");
    QCOMPARE(s.backgroundColor(), kWhite);
    QVERIFY(s.applyOrientation());
    QCOMPARE(s.keepMetadata(), KeepMetadata::ColourProfile);
    QVERIFY(shell->mainWindow()->isVisible());
}

void TestSettings::colourComponents()
{
    QCOMPARE(ColorButton::componentsFromColor(QColor(0xFF, 0x80, 0x00)),
             (ColorButton::Components{0xFFFFFFFFu, 0x80808080u, 0u}));
    QCOMPARE(ColorButton::colorFromComponents({0x12345678u, 0xFFFFFFFFu, 0x00FFFFFFu}), QColor(0x12, 0xFF, 0x00));
    ColorButton button;
    QSignalSpy changed(&button, &ColorButton::componentsChanged);
    button.setComponents(kWhite);
    QCOMPARE(changed.count(), 0);
    button.setComponents({0, 0, 0});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(button.text(), "#000000");
}

void TestSettings::defaultFolders()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_RUNTIME_DIR", "/run/user/77");
    qputenv("XDG_CONFIG_HOME", "/home/me/.cfg");
    QCOMPARE(Stores::defaultRunningFolder(), "/run/user/77/quorvanta");
    QCOMPARE(Stores::defaultPermanentFolder(), "/home/me/.cfg/quorvanta");
    // Unset or relative: the temp directory (a folder of this user's own) and ~/.config.
    qputenv("XDG_RUNTIME_DIR", "relative");
    qunsetenv("XDG_CONFIG_HOME");
    QVERIFY(Stores::defaultRunningFolder().startsWith(QDir::tempPath() + "/quorvanta-"));
    QCOMPARE(Stores::defaultPermanentFolder(), QDir::homePath() + "/.config/quorvanta");
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("XDG_CONFIG_HOME", config);
}

// The decode budget: its default, in force for the whole program as soon as it is taken, kept under
// export id 9, read back on the next start, and put back by "Cancel".
void TestSettings::decodeBudgetField()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        QCOMPARE(s.decodeBudgetField->text(), QString::number(DefaultDecodeBudgetBytes() / kMiB));
        s.show();
        s.decodeBudgetField->setText("64");
        QCOMPARE(DecodeBudgetBytes(), 64 * kMiB);
        s.decodeBudgetField->setText("8"); // below the smallest budget: marked and not taken
        QVERIFY(s.decodeBudgetField->property("invalid").toBool());
        QCOMPARE(DecodeBudgetBytes(), 64 * kMiB);
        QTest::mouseClick(s.cancelButton, Qt::LeftButton);
        QCOMPARE(DecodeBudgetBytes(), DefaultDecodeBudgetBytes());
        s.decodeBudgetField->setText("300");
        QTest::mouseClick(s.saveButton, Qt::LeftButton);
        QCOMPARE(places.permanent("10").toString(), "300");
    }
    SetDecodeBudgetBytes(0);
    auto shell = places.start();
    QCOMPARE(shell->settingsWindow()->decodeBudgetField->text(), "300");
    QCOMPARE(DecodeBudgetBytes(), 300 * kMiB);
    SetDecodeBudgetBytes(0);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
