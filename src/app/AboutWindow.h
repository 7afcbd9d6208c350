#pragma once
// The about window and the window that picks the widget style.

#include <QDialog>
#include <QWidget>

class QComboBox;
class QPushButton;

namespace quorvanta {

class Stores;

inline constexpr auto kApplicationTitle = "Quorvanta";
inline constexpr auto kApplicationVersion = QUORVANTA_VERSION;
inline constexpr auto kApplicationDescription =
    "A Viewer for WebP pictures and animation\nand a WebP Encoder for all possible\n"
    "picture formats that are supported by Qt.\nEncode a WebP animation from an image directory.";

class AboutWindow : public QDialog {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

// Lists the widget styles; a choice applies at once. "Save" keeps it in both stores, "Use" in the
// running store, "Cancel" goes back to the style the window opened with.
class StyleWindow : public QWidget {
    Q_OBJECT

public:
    StyleWindow(const Stores& stores, QWidget* parent = nullptr);

    // Applies the stored style, if any and known.
    static void applyStored(const Stores& stores);

    QComboBox* styleList = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* useButton = nullptr;
    QPushButton* cancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const Stores& stores;
    QString styleAtOpen;
};

} // namespace quorvanta
