#include "app/SettingsWindow.h"

#include "app/Stores.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace quorvanta {

namespace {

// Export ids: the keys of the gadgets in the stores.
enum ExportId { LosslessId = 1, QualityId, SpeedId, BackgroundColorId, FrameDurationId, LoopCountId,
                FilterStrengthId, FilterSharpnessId };

QString key(ExportId id)
{
    return QString::number(static_cast<int>(id));
}

QFrame* bar()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A bar with a title, as the first cell of a section row.
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

} // namespace

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

SettingsWindow::SettingsWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    setAcceptDrops(false);

    losslessCheck = new QCheckBox;
    losslessCheck->setAccessibleName(QStringLiteral("lossless"));
    qualityField = textField(QStringLiteral("50"), QStringLiteral("between 0 (smallest file) and 100 (biggest)"));
    speedField = textField(QStringLiteral("0"), QStringLiteral("quality/speed trade-off (0=fast, 6=slower-better)"));
    backgroundColorField = new ColorButton;
    frameDurationField = textField(QStringLiteral("1000"), QStringLiteral("duration of the frame (in milliseconds)."));
    loopCountField =
        textField(QStringLiteral("0"), QStringLiteral("Number of times to repeat the animation [0 = infinite]."));
    filterStrengthField = textField(QStringLiteral("0"), QStringLiteral(" range: [0 = off .. 100 = strongest]"));
    filterSharpnessField = textField(QStringLiteral("0"), QStringLiteral("range: [0 = off .. 7 = least sharp]"));

    auto* grid = new QGridLayout;
    int row = 0;
    auto section = [&](const QString& title) {
        grid->addWidget(titledBar(title), row, 0);
        grid->addWidget(bar(), row++, 1);
    };
    auto labelled = [&](const QString& text, QWidget* gadget) {
        auto* label = new QLabel(text);
        label->setBuddy(gadget);
        grid->addWidget(label, row, 0);
        grid->addWidget(gadget, row++, 1);
    };
    // A gadget that keeps its own width, followed by empty space.
    auto leftAligned = [](QWidget* gadget) {
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(gadget);
        layout->addStretch(1);
        return row;
    };
    section(QStringLiteral("Compression"));
    labelled(QStringLiteral("lossless"), leftAligned(losslessCheck));
    labelled(QStringLiteral("Quality"), qualityField);
    labelled(QStringLiteral("Speed trade-off"), speedField);
    section(QStringLiteral("Animation"));
    labelled(QStringLiteral("Background color"), leftAligned(backgroundColorField));
    labelled(QStringLiteral("Frame duration (ms) "), frameDurationField);
    labelled(QStringLiteral("Loop count"), loopCountField);
    section(QStringLiteral("Filter"));
    labelled(QStringLiteral("Strength"), filterStrengthField);
    labelled(QStringLiteral("Sharpness"), filterSharpnessField);
    grid->setColumnStretch(1, 1);
    auto* gadgets = new QGroupBox;
    gadgets->setLayout(grid);

    saveButton = new QPushButton(QStringLiteral("Save"));
    useButton = new QPushButton(QStringLiteral("Use"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    auto* buttons = new QGroupBox;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->addWidget(saveButton);
    buttonRow->addWidget(useButton);
    buttonRow->addWidget(cancelButton);

    auto* root = new QVBoxLayout(this);
    root->addWidget(gadgets);
    root->addWidget(buttons);
}

QLineEdit* SettingsWindow::textField(const QString& contents, const QString& help)
{
    auto* field = new QLineEdit(contents);
    field->setToolTip(help);
    // Dropped files are ignored by this window, fields included.
    field->setAcceptDrops(false);
    return field;
}

bool SettingsWindow::lossless() const { return losslessCheck->isChecked(); }
int SettingsWindow::quality() const { return readFieldInteger(qualityField->text()); }
int SettingsWindow::speed() const { return readFieldInteger(speedField->text()); }
std::array<std::uint32_t, 3> SettingsWindow::backgroundColor() const { return backgroundColorField->components(); }
QString SettingsWindow::frameDurationText() const { return frameDurationField->text(); }
int SettingsWindow::frameDuration() const { return readFieldInteger(frameDurationField->text()); }
int SettingsWindow::loopCount() const { return readFieldInteger(loopCountField->text()); }
int SettingsWindow::filterStrength() const { return readFieldInteger(filterStrengthField->text()); }
int SettingsWindow::filterSharpness() const { return readFieldInteger(filterSharpnessField->text()); }

void SettingsWindow::load(const Stores& stores)
{
    if (const auto flag = storedFlag(stores.value(key(LosslessId))))
        losslessCheck->setChecked(*flag);
    const std::pair<ExportId, QLineEdit*> fields[] = {
        {QualityId, qualityField},           {SpeedId, speedField},
        {FrameDurationId, frameDurationField}, {LoopCountId, loopCountField},
        {FilterStrengthId, filterStrengthField}, {FilterSharpnessId, filterSharpnessField}};
    for (const auto& [id, field] : fields) {
        const QVariant stored = stores.value(key(id));
        // A text field holds text; a list or anything else found in its place is not used.
        if (stored.typeId() == QMetaType::QString)
            field->setText(stored.toString());
    }
    if (const auto components = storedComponents(stores.value(key(BackgroundColorId))))
        backgroundColorField->setComponents(*components);
}

QVariantHash SettingsWindow::values() const
{
    const auto components = backgroundColorField->components();
    return {
        {key(LosslessId), losslessCheck->isChecked()},
        {key(QualityId), qualityField->text()},
        {key(SpeedId), speedField->text()},
        {key(BackgroundColorId), QStringList{QString::number(components[0]), QString::number(components[1]),
                                              QString::number(components[2])}},
        {key(FrameDurationId), frameDurationField->text()},
        {key(LoopCountId), loopCountField->text()},
        {key(FilterStrengthId), filterStrengthField->text()},
        {key(FilterSharpnessId), filterSharpnessField->text()},
    };
}

} // namespace quorvanta
