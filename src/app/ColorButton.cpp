#include "app/ColorButton.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

namespace quorvanta {

ColorButton::ColorButton(QWidget* parent) : QPushButton(parent)
{
    setAccessibleName(tr("Background color"));
    connect(this, &QPushButton::clicked, this, &ColorButton::pick);
    refresh();
}

void ColorButton::setComponents(const Components& components)
{
    if (components == value)
        return;
    value = components;
    refresh();
    Q_EMIT componentsChanged();
}

ColorButton::Components ColorButton::componentsFromColor(const QColor& color)
{
    // An 8-bit component c spreads over 32 bits as c repeated four times (0xFF -> 0xFFFFFFFF).
    auto spread = [](int c) { return static_cast<std::uint32_t>(c) * 0x01010101u; };
    return {spread(color.red()), spread(color.green()), spread(color.blue())};
}

QColor ColorButton::colorFromComponents(const Components& components)
{
    return QColor(static_cast<int>(components[0] >> 24), static_cast<int>(components[1] >> 24),
                  static_cast<int>(components[2] >> 24));
}

void ColorButton::pick()
{
    const QColor chosen = QColorDialog::getColor(colorFromComponents(value), window(), tr("Background color"),
                                                 QColorDialog::DontUseNativeDialog);
    if (chosen.isValid())
        setComponents(componentsFromColor(chosen));
}

void ColorButton::refresh()
{
    QPixmap swatch(40, 16);
    swatch.fill(colorFromComponents(value));
    QPainter painter(&swatch);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
    setText(colorFromComponents(value).name(QColor::HexRgb));
}

} // namespace quorvanta
