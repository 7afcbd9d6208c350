#pragma once
// The settings window: nine gadgets that are themselves the store of the encoder and animation
// settings. Readers ask the gadgets at the moment they need a value.
//
// Each number field takes only the whole numbers its reader can use. A text out of range or not a
// number is marked at the field (property "invalid", a red frame, a tooltip naming the range) and not
// taken: readers and the stores keep getting the value last in force. The frame duration is taken
// when editing ends (Return, focus leaving) or after a short pause in typing, so that typing "200"
// does not play at 2 and 20 ms on the way. "Cancel" and Escape go back to the values in force when
// the window was opened (or last saved or used).

#include "app/ColorButton.h"
#include "pictureview/SettingsSource.h"

#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTimer;

namespace quorvanta {

class Stores;

class SettingsWindow : public QWidget, public SettingsSource {
    Q_OBJECT

public:
    // The longest frame duration, in milliseconds: the playback clock holds durations as 32-bit
    // microseconds.
    static constexpr std::int64_t kLongestFrameDuration = std::numeric_limits<std::int32_t>::max() / 1000;
    // How long typing in the frame duration field pauses before the duration is taken.
    static constexpr int kTypingPause = 600; // ms
    // The decode budget the field takes, in MiB: from a small picture's worth to 1 TiB.
    static constexpr std::int64_t kMinDecodeBudgetMiB = 16;
    static constexpr std::int64_t kMaxDecodeBudgetMiB = std::int64_t(1) << 20;

    explicit SettingsWindow(QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // SettingsSource: the values in force now.
    bool lossless() const override;
    int quality() const override;
    int speed() const override;
    std::array<std::uint32_t, 3> backgroundColor() const override;
    QString frameDurationText() const override;
    int frameDuration() const override;
    int loopCount() const override;
    int filterStrength() const override;
    int filterSharpness() const override;
    bool mixed() const override;
    bool applyOrientation() const override;
    KeepMetadata keepMetadata() const override;
    int targetSize() const override;

    // Every gadget takes the stored value of its export id; a missing or unusable one (a text out of
    // the field's range included) leaves the gadget as it is.
    void load(const Stores& stores);
    // For a load sent before the window is made: puts the stored decode budget in force, as load()
    // does, and says whether the stored settings turn pictures upright.
    static bool takeStoredForLoad(const Stores& stores);
    // The values in force under their export ids ("1" to "8", "9" for mixed, "10" for the decode budget,
    // "11" apply EXIF orientation, "12" keep metadata: "none", "profile" or "all", "13" target size).
    QVariantHash values() const;

    // The window opens centred over `anchor` (unless it has a place of its own already) and stays
    // above it; `keys` (the anchor's menu items) work from this window as well.
    void follow(QWidget* anchor, const QList<QAction*>& keys);

    // Takes the frame duration typed so far, as the end of the typing pause does.
    void applyFrameDuration();
    // Goes back to the values in force when the window was opened, then closes it.
    void cancel();

    // The smallest and largest value a number field takes.
    static std::pair<std::int64_t, std::int64_t> rangeOf(int exportId);

    QCheckBox* losslessCheck = nullptr;
    QCheckBox* mixedCheck = nullptr; // enabled only while lossless is off
    QLineEdit* qualityField = nullptr;
    QLineEdit* speedField = nullptr;
    ColorButton* backgroundColorField = nullptr;
    QLineEdit* frameDurationField = nullptr;
    QLineEdit* loopCountField = nullptr;
    QLineEdit* filterStrengthField = nullptr;
    QLineEdit* filterSharpnessField = nullptr;
    // The decode budget in MiB; the value in force is the budget of every decoder of the program.
    QLineEdit* decodeBudgetField = nullptr;
    QCheckBox* orientationCheck = nullptr; // "Apply EXIF orientation", on by default
    QComboBox* keepMetadataBox = nullptr;  // none, colour profile, all
    QLineEdit* targetSizeField = nullptr;  // KB, 0 for no target
    QPushButton* saveButton = nullptr;
    QPushButton* useButton = nullptr;
    QPushButton* cancelButton = nullptr;
    // Single shot, restarted by each keystroke in the frame duration field.
    QTimer* typingPause = nullptr;

Q_SIGNALS:
    // The frame duration in force changed (typed, loaded, set, or restored by "Cancel").
    void frameDurationChanged(const QString& text);
    // "Cancel" or Escape restored the values in force when the window was opened.
    void restored();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct NumberField {
        QLineEdit* edit = nullptr;
        int exportId = 0;
        QString name;
        QString help;
        QString inForce;
    };
    struct Snapshot {
        bool lossless = false;
        bool mixed = false;
        bool orientation = true;
        int keep = 1;
        ColorButton::Components color{};
        std::vector<QString> texts;
    };

    QLineEdit* numberField(int exportId, const QString& name, const QString& contents, const QString& help);
    NumberField& entry(const QLineEdit* edit);
    const NumberField& entry(const QLineEdit* edit) const;
    int valueInForce(const QLineEdit* edit) const;
    bool acceptable(const NumberField& field) const;
    void textChanged(NumberField& field);
    void mark(NumberField& field);
    void takeSnapshot();
    void placeOverAnchor();

    std::vector<NumberField> fields;
    Snapshot atOpen;
    QWidget* anchor = nullptr;
    bool placed = false;
};

} // namespace quorvanta
