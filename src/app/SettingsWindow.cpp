#include "app/SettingsWindow.h"

#include "app/SettingsParts.h"
#include "app/Stores.h"
#include "core/DecodeBudget.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QValidator>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace quorvanta {

namespace {

// Export ids: the keys of the gadgets in the stores.
enum ExportId { LosslessId = 1, QualityId, SpeedId, BackgroundColorId, FrameDurationId, LoopCountId,
                FilterStrengthId, FilterSharpnessId, MixedId, DecodeBudgetId,
                ApplyOrientationId, KeepMetadataId, TargetSizeId };

// "Keep metadata" as stored, in the order of its choices.
const QString kKeepNames[] = {QStringLiteral("none"), QStringLiteral("profile"), QStringLiteral("all")};

// The largest target size, in KB: 1 GB.
constexpr std::int64_t kMaxTargetSizeKB = 1000000;

QString key(int id)
{
    return QString::number(id);
}

// A field that is marked shows a red frame; the property is set by the window.
constexpr auto kInvalidProperty = "invalid";
constexpr auto kInvalidStyle = "QLineEdit[invalid=\"true\"] { border: 2px solid #c62828; border-radius: 3px;"
                               " background-color: #fdecea; color: #3b0909; padding: 1px; }";

// Whole numbers from `low` to `high` in decimal digits. A keystroke that would put anything else in
// (a letter, a sign) is refused; digits out of range or blanks are let in while typing (the field is
// then marked and its text not taken), and blanks are dropped when editing ends.
class RangeValidator final : public QValidator {
public:
    RangeValidator(std::int64_t low, std::int64_t high, QObject* parent) : QValidator(parent), low(low), high(high) {}

    State validate(QString& input, int&) const override { return check(input); }
    void fixup(QString& input) const override { input.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')); }

    State check(const QString& input) const
    {
        bool blanks = false;
        bool digits = false;
        std::int64_t value = 0;
        for (const QChar c : input) {
            if (c == u' ' || c == u'\t') {
                blanks = true;
            } else if (c >= u'0' && c <= u'9') {
                digits = true;
                value = std::min<std::int64_t>(value * 10 + (c.unicode() - u'0'), high + 1);
            } else {
                return Invalid;
            }
        }
        return digits && !blanks && value >= low && value <= high ? Acceptable : Intermediate;
    }

private:
    std::int64_t low;
    std::int64_t high;
};

const RangeValidator& validatorOf(const QLineEdit* edit)
{
    return *static_cast<const RangeValidator*>(edit->validator());
}

} // namespace

SettingsWindow::SettingsWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    setAcceptDrops(false);

    losslessCheck = new QCheckBox;
    losslessCheck->setAccessibleName(QStringLiteral("lossless"));
    mixedCheck = new QCheckBox;
    mixedCheck->setAccessibleName(QStringLiteral("mixed"));
    mixedCheck->setToolTip(QStringLiteral("animation frames lossy or lossless, whichever is smaller (lossless off)"));
    connect(losslessCheck, &QCheckBox::toggled, mixedCheck, [this](bool on) { mixedCheck->setEnabled(!on); });
    orientationCheck = new QCheckBox;
    orientationCheck->setAccessibleName(QStringLiteral("Apply EXIF orientation"));
    orientationCheck->setToolTip(QStringLiteral("turn pictures upright as their EXIF orientation says"));
    orientationCheck->setChecked(true);
    keepMetadataBox = new QComboBox;
    keepMetadataBox->setAccessibleName(QStringLiteral("Keep metadata"));
    keepMetadataBox->addItems({QStringLiteral("none"), QStringLiteral("colour profile"), QStringLiteral("all")});
    keepMetadataBox->setCurrentIndex(1);
    keepMetadataBox->setToolTip(QStringLiteral("what an encoded picture keeps of its source's colour profile, EXIF and XMP"));
    fields.reserve(8);
    qualityField = numberField(QualityId, QStringLiteral("Quality"), QStringLiteral("50"),
                               QStringLiteral("between 0 (smallest file) and 100 (biggest)"));
    speedField = numberField(SpeedId, QStringLiteral("Speed trade-off"), QStringLiteral("0"),
                             QStringLiteral("quality/speed trade-off (0=fast, 6=slower-better)"));
    backgroundColorField = new ColorButton;
    frameDurationField = numberField(FrameDurationId, QStringLiteral("Frame duration"), QStringLiteral("1000"),
                                     QStringLiteral("duration of the frame (in milliseconds)."));
    loopCountField = numberField(LoopCountId, QStringLiteral("Loop count"), QStringLiteral("0"),
                                 QStringLiteral("Number of times to repeat the animation [0 = infinite]."));
    filterStrengthField = numberField(FilterStrengthId, QStringLiteral("Strength"), QStringLiteral("0"),
                                      QStringLiteral(" range: [0 = off .. 100 = strongest]"));
    filterSharpnessField = numberField(FilterSharpnessId, QStringLiteral("Sharpness"), QStringLiteral("0"),
                                       QStringLiteral("range: [0 = off .. 7 = least sharp]"));
    decodeBudgetField = numberField(DecodeBudgetId, QStringLiteral("Decode budget"),
                                    QString::number(DefaultDecodeBudgetBytes() / kMiB),
                                    QStringLiteral("memory for one decoded picture (in MiB); larger ones are "
                                                   "shown reduced or refused"));
    targetSizeField = numberField(TargetSizeId, QStringLiteral("Target size"), QStringLiteral("0"),
                                  QStringLiteral("largest file \"Encode picture\" writes (in KB of 1000 bytes; "
                                                 "0 = no target; lossy only)"));
    setStyleSheet(QLatin1String(kInvalidStyle));

    typingPause = new QTimer(this);
    typingPause->setSingleShot(true);
    typingPause->setInterval(kTypingPause);
    connect(typingPause, &QTimer::timeout, this, &SettingsWindow::applyFrameDuration);
    connect(frameDurationField, &QLineEdit::editingFinished, this, &SettingsWindow::applyFrameDuration);

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
    labelled(QStringLiteral("mixed"), leftAligned(mixedCheck));
    labelled(QStringLiteral("Quality"), qualityField);
    labelled(QStringLiteral("Speed trade-off"), speedField);
    section(QStringLiteral("Animation"));
    labelled(QStringLiteral("Background color"), leftAligned(backgroundColorField));
    labelled(QStringLiteral("Frame duration (ms) "), frameDurationField);
    labelled(QStringLiteral("Loop count"), loopCountField);
    section(QStringLiteral("Filter"));
    labelled(QStringLiteral("Strength"), filterStrengthField);
    labelled(QStringLiteral("Sharpness"), filterSharpnessField);
    section(QStringLiteral("Conversion"));
    labelled(QStringLiteral("Apply EXIF orientation"), leftAligned(orientationCheck));
    labelled(QStringLiteral("Keep metadata"), leftAligned(keepMetadataBox));
    labelled(QStringLiteral("Target size (KB)"), targetSizeField);
    section(QStringLiteral("Memory"));
    labelled(QStringLiteral("Decode budget (MiB)"), decodeBudgetField);
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

    // On a small screen (or at a large scale) the rows scroll and the buttons stay in view.
    auto* rows = new QScrollArea;
    rows->setWidget(gadgets);
    rows->setWidgetResizable(true);
    rows->setFrameShape(QFrame::NoFrame);
    rows->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() - 3 * buttons->sizeHint().height() : 600;
    rows->setMinimumHeight(std::min(gadgets->sizeHint().height(), std::max(room, 120)));
    rows->setMinimumWidth(gadgets->sizeHint().width() + rows->verticalScrollBar()->sizeHint().width());

    auto* root = new QVBoxLayout(this);
    root->addWidget(rows, 1);
    root->addWidget(buttons);

    // What was saved or used is what a later "Cancel" goes back to. These run before the shell's
    // own handlers of the same buttons, which write values() to the stores.
    for (QPushButton* button : {saveButton, useButton}) {
        connect(button, &QPushButton::clicked, this, [this] {
            applyFrameDuration();
            takeSnapshot();
        });
    }
    connect(cancelButton, &QPushButton::clicked, this, &SettingsWindow::cancel);
    takeSnapshot();
}

QLineEdit* SettingsWindow::numberField(int exportId, const QString& name, const QString& contents,
                                       const QString& help)
{
    auto* edit = new QLineEdit(contents);
    edit->setToolTip(help);
    const auto [low, high] = rangeOf(exportId);
    edit->setValidator(new RangeValidator(low, high, edit));
    // Dropped files are ignored by this window, fields included.
    edit->setAcceptDrops(false);
    fields.push_back({edit, exportId, name, help, contents});
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { textChanged(entry(edit)); });
    return edit;
}

std::pair<std::int64_t, std::int64_t> SettingsWindow::rangeOf(int exportId)
{
    switch (exportId) {
    case QualityId: return {0, 100};
    case SpeedId: return {0, 6};
    case FrameDurationId: return {1, kLongestFrameDuration};
    case LoopCountId: return {0, 65535};
    case FilterStrengthId: return {0, 100};
    case FilterSharpnessId: return {0, 7};
    case DecodeBudgetId: return {kMinDecodeBudgetMiB, kMaxDecodeBudgetMiB};
    case TargetSizeId: return {0, kMaxTargetSizeKB};
    default: return {0, 0};
    }
}

SettingsWindow::NumberField& SettingsWindow::entry(const QLineEdit* edit)
{
    return *std::find_if(fields.begin(), fields.end(), [edit](const NumberField& f) { return f.edit == edit; });
}

const SettingsWindow::NumberField& SettingsWindow::entry(const QLineEdit* edit) const
{
    return *std::find_if(fields.begin(), fields.end(), [edit](const NumberField& f) { return f.edit == edit; });
}

int SettingsWindow::valueInForce(const QLineEdit* edit) const
{
    return readFieldInteger(entry(edit).inForce);
}

bool SettingsWindow::acceptable(const NumberField& field) const
{
    return validatorOf(field.edit).check(field.edit->text()) == QValidator::Acceptable;
}

void SettingsWindow::textChanged(NumberField& field)
{
    mark(field);
    if (field.edit != frameDurationField) {
        if (acceptable(field))
            field.inForce = field.edit->text();
        if (field.edit == decodeBudgetField)
            SetDecodeBudgetMiB(std::uint64_t(valueInForce(decodeBudgetField)));
        return;
    }
    // Typed text waits for the end of editing or a pause; text set by the program is taken at once.
    if (!acceptable(field))
        typingPause->stop();
    else if (field.edit->isModified())
        typingPause->start();
    else
        applyFrameDuration();
}

void SettingsWindow::mark(NumberField& field)
{
    const bool invalid = !acceptable(field);
    if (field.edit->property(kInvalidProperty).toBool() != invalid) {
        field.edit->setProperty(kInvalidProperty, invalid);
        // The style sheet looks at the property only when the field is polished again.
        field.edit->style()->unpolish(field.edit);
        field.edit->style()->polish(field.edit);
        field.edit->update();
    }
    const auto [low, high] = rangeOf(field.exportId);
    field.edit->setToolTip(invalid ? QStringLiteral("%1 takes a whole number from %2 to %3; %4 stays in force.")
                                         .arg(field.name)
                                         .arg(low)
                                         .arg(high)
                                         .arg(field.inForce)
                                   : field.help);
}

SettingsWindow::~SettingsWindow()
{
    // QWidget's destructor takes the focus away from a field, which ends its editing: nothing of
    // this window may run by then.
    for (const NumberField& field : fields)
        disconnect(field.edit, nullptr, this, nullptr);
}

void SettingsWindow::applyFrameDuration()
{
    typingPause->stop();
    NumberField& field = entry(frameDurationField);
    if (!acceptable(field) || field.inForce == field.edit->text())
        return;
    field.inForce = field.edit->text();
    Q_EMIT frameDurationChanged(field.inForce);
}

void SettingsWindow::takeSnapshot()
{
    atOpen.lossless = losslessCheck->isChecked();
    atOpen.mixed = mixedCheck->isChecked();
    atOpen.orientation = orientationCheck->isChecked();
    atOpen.keep = keepMetadataBox->currentIndex();
    atOpen.color = backgroundColorField->components();
    atOpen.texts.clear();
    for (const NumberField& field : fields)
        atOpen.texts.push_back(field.inForce);
}

void SettingsWindow::cancel()
{
    typingPause->stop();
    losslessCheck->setChecked(atOpen.lossless);
    mixedCheck->setChecked(atOpen.mixed);
    orientationCheck->setChecked(atOpen.orientation);
    keepMetadataBox->setCurrentIndex(atOpen.keep);
    backgroundColorField->setComponents(atOpen.color);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // The text may already read as the old value while a changed one is still in force.
        fields[i].edit->setText(atOpen.texts[i]);
        fields[i].edit->setModified(false);
        if (fields[i].edit != frameDurationField)
            fields[i].inForce = atOpen.texts[i];
    }
    SetDecodeBudgetMiB(std::uint64_t(valueInForce(decodeBudgetField)));
    applyFrameDuration();
    hide();
    Q_EMIT restored();
}

void SettingsWindow::follow(QWidget* anchorWindow, const QList<QAction*>& keys)
{
    anchor = anchorWindow;
    addActions(keys);
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        takeSnapshot();
        // A window that has a place (restored from the stores, or where it was last) keeps it.
        if (!placed && !testAttribute(Qt::WA_Moved))
            placeOverAnchor();
        placed = true;
        if (anchor && anchor->windowHandle() && windowHandle())
            windowHandle()->setTransientParent(anchor->windowHandle());
    }
    QWidget::showEvent(event);
}

void SettingsWindow::placeOverAnchor()
{
    if (!anchor || !anchor->isVisible())
        return;
    QRect box(QPoint(0, 0), size());
    box.moveCenter(anchor->frameGeometry().center());
    if (const QScreen* screen = anchor->screen()) {
        const QRect room = screen->availableGeometry();
        box.moveRight(std::min(box.right(), room.right()));
        box.moveBottom(std::min(box.bottom(), room.bottom()));
        box.moveLeft(std::max(box.left(), room.left()));
        box.moveTop(std::max(box.top(), room.top()));
    }
    move(box.topLeft());
}

void SettingsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SettingsWindow::lossless() const { return losslessCheck->isChecked(); }
int SettingsWindow::quality() const { return valueInForce(qualityField); }
int SettingsWindow::speed() const { return valueInForce(speedField); }
std::array<std::uint32_t, 3> SettingsWindow::backgroundColor() const { return backgroundColorField->components(); }
QString SettingsWindow::frameDurationText() const { return entry(frameDurationField).inForce; }
int SettingsWindow::frameDuration() const { return valueInForce(frameDurationField); }
int SettingsWindow::loopCount() const { return valueInForce(loopCountField); }
int SettingsWindow::filterStrength() const { return valueInForce(filterStrengthField); }
int SettingsWindow::filterSharpness() const { return valueInForce(filterSharpnessField); }
bool SettingsWindow::mixed() const { return mixedCheck->isChecked(); }
bool SettingsWindow::applyOrientation() const { return orientationCheck->isChecked(); }
KeepMetadata SettingsWindow::keepMetadata() const
{
    const KeepMetadata choices[] = {KeepMetadata::None, KeepMetadata::ColourProfile, KeepMetadata::All};
    return choices[std::clamp(keepMetadataBox->currentIndex(), 0, 2)];
}
int SettingsWindow::targetSize() const { return valueInForce(targetSizeField); }

bool SettingsWindow::takeStoredForLoad(const Stores& stores)
{
    const QVariant budget = stores.value(key(DecodeBudgetId));
    const auto [low, high] = rangeOf(DecodeBudgetId);
    if (budget.typeId() == QMetaType::QString &&
        RangeValidator(low, high, nullptr).check(budget.toString()) == QValidator::Acceptable)
        SetDecodeBudgetMiB(std::uint64_t(readFieldInteger(budget.toString())));
    return storedFlag(stores.value(key(ApplyOrientationId))).value_or(true);
}

void SettingsWindow::load(const Stores& stores)
{
    if (const auto flag = storedFlag(stores.value(key(LosslessId))))
        losslessCheck->setChecked(*flag);
    if (const auto flag = storedFlag(stores.value(key(MixedId))))
        mixedCheck->setChecked(*flag);
    if (const auto flag = storedFlag(stores.value(key(ApplyOrientationId))))
        orientationCheck->setChecked(*flag);
    if (const QVariant keep = stores.value(key(KeepMetadataId)); keep.typeId() == QMetaType::QString) {
        const auto* found = std::find(std::begin(kKeepNames), std::end(kKeepNames), keep.toString().trimmed());
        if (found != std::end(kKeepNames))
            keepMetadataBox->setCurrentIndex(int(found - std::begin(kKeepNames)));
    }
    const std::pair<ExportId, QLineEdit*> stored[] = {
        {QualityId, qualityField},           {SpeedId, speedField},
        {FrameDurationId, frameDurationField}, {LoopCountId, loopCountField},
        {FilterStrengthId, filterStrengthField}, {FilterSharpnessId, filterSharpnessField},
        {DecodeBudgetId, decodeBudgetField},     {TargetSizeId, targetSizeField}};
    for (const auto& [id, field] : stored) {
        const QVariant value = stores.value(key(id));
        // A text field holds text; a list or anything else found in its place is not used, nor is a
        // text the field would not take.
        if (value.typeId() != QMetaType::QString)
            continue;
        const QString text = value.toString();
        if (validatorOf(field).check(text) == QValidator::Acceptable)
            field->setText(text);
    }
    if (const auto components = storedComponents(stores.value(key(BackgroundColorId))))
        backgroundColorField->setComponents(*components);
}

QVariantHash SettingsWindow::values() const
{
    const auto components = backgroundColorField->components();
    return {
        {key(LosslessId), losslessCheck->isChecked()},
        {key(QualityId), entry(qualityField).inForce},
        {key(SpeedId), entry(speedField).inForce},
        {key(BackgroundColorId), QStringList{QString::number(components[0]), QString::number(components[1]),
                                              QString::number(components[2])}},
        {key(FrameDurationId), entry(frameDurationField).inForce},
        {key(LoopCountId), entry(loopCountField).inForce},
        {key(FilterStrengthId), entry(filterStrengthField).inForce},
        {key(FilterSharpnessId), entry(filterSharpnessField).inForce},
        {key(MixedId), mixedCheck->isChecked()},
        {key(DecodeBudgetId), entry(decodeBudgetField).inForce},
        {key(ApplyOrientationId), orientationCheck->isChecked()},
        {key(KeepMetadataId), kKeepNames[std::clamp(keepMetadataBox->currentIndex(), 0, 2)]},
        {key(TargetSizeId), entry(targetSizeField).inForce},
    };
}

} // namespace quorvanta
