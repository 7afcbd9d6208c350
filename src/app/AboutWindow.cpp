#include "app/AboutWindow.h"

#include "app/Stores.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace quorvanta {

namespace {
constexpr auto kStyleKey = "style";
}

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About %1").arg(QLatin1String(kApplicationTitle)));
    auto* title = new QLabel(QLatin1String(kApplicationTitle));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.6);
    title->setFont(font);
    auto* version = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(kApplicationVersion)));
    auto* description = new QLabel(QString::fromUtf8(kApplicationDescription));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto* column = new QVBoxLayout(this);
    for (QLabel* label : {title, version, description}) {
        label->setAlignment(Qt::AlignHCenter);
        column->addWidget(label);
    }
    column->addWidget(buttons);
}

StyleWindow::StyleWindow(const Stores& stores, QWidget* parent) : QWidget(parent, Qt::Window), stores(stores)
{
    setWindowTitle(QStringLiteral("Qt style"));
    styleList = new QComboBox;
    styleList->addItems(QStyleFactory::keys());
    saveButton = new QPushButton(QStringLiteral("Save"));
    useButton = new QPushButton(QStringLiteral("Use"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"));

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Widget style")));
    row->addWidget(styleList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saveButton);
    buttons->addWidget(useButton);
    buttons->addWidget(cancelButton);
    auto* column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addLayout(buttons);

    connect(styleList, &QComboBox::textActivated, this, [](const QString& name) { QApplication::setStyle(name); });
    auto store = [this](Stores::Which which) {
        this->stores.write({{QString::fromLatin1(kStyleKey), styleList->currentText()}}, which);
    };
    connect(saveButton, &QPushButton::clicked, this, [store] { store(Stores::Both); });
    connect(useButton, &QPushButton::clicked, this, [store] { store(Stores::Running); });
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        if (!styleAtOpen.isEmpty() && styleAtOpen != QApplication::style()->name())
            QApplication::setStyle(styleAtOpen);
        hide();
    });
}

void StyleWindow::showEvent(QShowEvent* event)
{
    styleAtOpen = QApplication::style()->name();
    const int index = styleList->findText(styleAtOpen, Qt::MatchFixedString);
    if (index >= 0)
        styleList->setCurrentIndex(index);
    QWidget::showEvent(event);
}

void StyleWindow::applyStored(const Stores& stores)
{
    const QVariant stored = stores.value(QString::fromLatin1(kStyleKey));
    if (stored.typeId() != QMetaType::QString)
        return;
    const QString name = stored.toString();
    if (QStyleFactory::keys().contains(name, Qt::CaseInsensitive))
        QApplication::setStyle(name);
}

} // namespace quorvanta
