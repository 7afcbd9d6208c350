#pragma once
// The settings window: eight gadgets that are themselves the store of the encoder and animation
// settings. Readers ask the gadgets at the moment they need a value.

#include "pictureview/SettingsSource.h"

#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QLineEdit;

namespace quorvanta {

class Stores;

// A colour editor: a button showing the colour, opening a colour dialog when pressed. The colour is
// held as three 32-bit components (red, green, blue).
class ColorButton : public QPushButton {
    Q_OBJECT

public:
    using Components = std::array<std::uint32_t, 3>;
    explicit ColorButton(QWidget* parent = nullptr);

    Components components() const { return value; }
    void setComponents(const Components& components);

    static Components componentsFromColor(const QColor& color);
    static QColor colorFromComponents(const Components& components);

Q_SIGNALS:
    void componentsChanged();

private:
    void pick();
    void refresh();

    Components value{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
};

class SettingsWindow : public QWidget, public SettingsSource {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // SettingsSource: the gadgets' values now.
    bool lossless() const override;
    int quality() const override;
    int speed() const override;
    std::array<std::uint32_t, 3> backgroundColor() const override;
    QString frameDurationText() const override;
    int frameDuration() const override;
    int loopCount() const override;
    int filterStrength() const override;
    int filterSharpness() const override;

    // Every gadget takes the stored value of its export id; a missing or unusable one leaves the
    // gadget as it is.
    void load(const Stores& stores);
    // The gadgets' values under their export ids ("1" to "8").
    QVariantHash values() const;

    QCheckBox* losslessCheck = nullptr;
    QLineEdit* qualityField = nullptr;
    QLineEdit* speedField = nullptr;
    ColorButton* backgroundColorField = nullptr;
    QLineEdit* frameDurationField = nullptr;
    QLineEdit* loopCountField = nullptr;
    QLineEdit* filterStrengthField = nullptr;
    QLineEdit* filterSharpnessField = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* useButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    QLineEdit* textField(const QString& contents, const QString& help);
};

} // namespace quorvanta
