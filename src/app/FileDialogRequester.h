#pragma once
// The real requester: Qt's own file dialog (the same on every desktop).

#include "pictureview/Requesters.h"

#include <QStringList>

class QFileDialog;
class QWidget;

namespace quorvanta {

// "#?.(webp|png)" becomes {"*.webp", "*.png"}; "#?" alone is "*". A pattern in another form is
// passed on as it is.
QStringList nameFiltersFromPattern(const QString& pattern);

// "ram:" is the temp directory; any other text is taken as a directory path.
QString directoryFromDrawer(const QString& drawer);

// Where a dialog opens: beside a proposed file; for "ram:" the folder last used while it exists, the
// temp directory before any; any other drawer as it is.
QString startDirectory(const RequestOptions& options);

// Sets title, button texts, start directory, name filter, save and directory modes.
void configureFileDialog(QFileDialog& dialog, const RequestOptions& options);

// Splits the chosen path into drawer and file name as the requester reports them: a directory
// chosen in directory mode is the drawer with an empty file name.
RequestAnswer answerFromChosenPath(const QString& chosen, bool drawersOnly);

class FileDialogRequester : public RequesterBackend {
public:
    explicit FileDialogRequester(QWidget* parent = nullptr) : parent(parent) {}
    RequestAnswer ask(const RequestOptions& options) override;

private:
    QWidget* parent;
};

} // namespace quorvanta
