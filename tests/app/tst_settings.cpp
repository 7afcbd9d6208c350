// The settings window and the two stores: defaults, Save / Use / Cancel, what a restart shows, and
// stores holding values of the wrong kind.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "app/Stores.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
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
    void cancelKeepsValuesInEffect();
    void runningStoreFirstPerKey();
    void unusableStoredValues_data();
    void unusableStoredValues();
    void colourComponents();
    void defaultFolders();
};

void TestSettings::firstStartDefaults()
{
    Places places;
    auto shell = places.start();
    const SettingsWindow& s = *shell->settingsWindow();
    QCOMPARE(s.windowTitle(), "Settings");
    QVERIFY(!s.lossless());
    QCOMPARE(s.quality(), 50);
    QCOMPARE(s.speed(), 0);
    QCOMPARE(s.backgroundColor(), kWhite);
    QCOMPARE(s.frameDurationText(), "1000");
    QCOMPARE(s.frameDuration(), 1000);
    QCOMPARE(s.loopCount(), 0);
    QCOMPARE(s.filterStrength(), 0);
    QCOMPARE(s.filterSharpness(), 0);
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
    QCOMPARE(labels, (QStringList{"lossless", "Quality", "Speed trade-off", "Background color",
                                  "Frame duration (ms) ", "Loop count", "Strength", "Sharpness"}));
    // The fields take any text; readers get its integer reading.
    s.qualityField->setText("  +75abc");
    s.speedField->setText("fast");
    s.loopCountField->setText("-3");
    QCOMPARE(s.quality(), 75);
    QCOMPARE(s.speed(), 0);
    QCOMPARE(s.loopCount(), -3);
}

void TestSettings::useThenRestart()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        s.qualityField->setText("90");
        s.losslessCheck->setChecked(true);
        s.backgroundColorField->setComponents({0x12121212u, 0, 0xFFFFFFFFu});
        QTest::mouseClick(s.useButton, Qt::LeftButton);
    }
    QCOMPARE(places.running("2").toString(), "90");
    QVERIFY(!places.permanent("2").isValid());
    auto shell = places.start();
    const SettingsWindow& s = *shell->settingsWindow();
    QCOMPARE(s.qualityField->text(), "90");
    QVERIFY(s.lossless());
    QCOMPARE(s.backgroundColor(), (ColorButton::Components{0x12121212u, 0, 0xFFFFFFFFu}));
    QCOMPARE(s.frameDurationText(), "1000");
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

void TestSettings::cancelKeepsValuesInEffect()
{
    Places places;
    {
        auto shell = places.start();
        SettingsWindow& s = *shell->settingsWindow();
        s.show();
        s.qualityField->setText("90");
        QTest::mouseClick(s.cancelButton, Qt::LeftButton);
        QVERIFY(!s.isVisible());
        // What a later encoding reads is the changed value, though it was never saved.
        QCOMPARE(s.quality(), 90);
        QCOMPARE(s.qualityField->text(), "90");
    }
    QVERIFY(!places.running("2").isValid());
    auto shell = places.start();
    QCOMPARE(shell->settingsWindow()->quality(), 50);
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
    QTest::newRow("flag not a flag") << QByteArray("1=maybe\n");
    QTest::newRow("text field holding a list") << QByteArray("2=50,60\n");
    QTest::newRow("two colour components") << QByteArray("4=1, 2\n");
    QTest::newRow("colour component not a number") << QByteArray("4=1, x, 3\n");
    QTest::newRow("colour component beyond 32 bits") << QByteArray("4=1, 2, 4294967296\n");
    QTest::newRow("colour as one text") << QByteArray("4=white\n");
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
    QCOMPARE(s.qualityField->text(), "50");
    QCOMPARE(s.backgroundColor(), kWhite);
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

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
