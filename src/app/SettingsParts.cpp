#include "app/SettingsParts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStringList>

namespace quorvanta {

QFrame* bar()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QWidget* titledBar(const QString& title)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    layout->addWidget(label);
    layout->addWidget(bar(), 1);
    return box;
}

std::optional<bool> storedFlag(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Bool)
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == "true" || text == "1")
        return true;
    if (text == "false" || text == "0")
        return false;
    return std::nullopt;
}

std::optional<ColorButton::Components> storedComponents(const QVariant& value)
{
    if (value.typeId() != QMetaType::QStringList && value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    const QStringList parts = value.toStringList();
    if (parts.size() != 3)
        return std::nullopt;
    ColorButton::Components components{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const qulonglong number = parts[i].trimmed().toULongLong(&ok);
        if (!ok || number > 0xFFFFFFFFull)
            return std::nullopt;
        components[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(number);
    }
    return components;
}

} // namespace quorvanta
