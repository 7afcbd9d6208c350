#pragma once
// Parts of the settings window: its section bars, and the readings of stored values.

#include "app/ColorButton.h"

#include <QString>
#include <QVariant>

#include <optional>

class QFrame;
class QWidget;

namespace quorvanta {

// A sunken horizontal line.
QFrame* bar();
// A bar with a title, as the first cell of a section row.
QWidget* titledBar(const QString& title);

// A stored check box state: "true"/"1" or "false"/"0" (any case), or a boolean; nothing otherwise.
std::optional<bool> storedFlag(const QVariant& value);
// Stored colour components: a list of three whole numbers up to 0xFFFFFFFF; nothing otherwise.
std::optional<ColorButton::Components> storedComponents(const QVariant& value);

} // namespace quorvanta
