#pragma once
// The colour editor of the settings window.

#include <QPushButton>

#include <array>
#include <cstdint>

namespace quorvanta {

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

} // namespace quorvanta
