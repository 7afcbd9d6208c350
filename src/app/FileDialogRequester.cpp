#include "app/FileDialogRequester.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace quorvanta {

QStringList nameFiltersFromPattern(const QString& pattern)
{
    if (pattern.isEmpty() || pattern == "#?")
        return {QStringLiteral("*")};
    static const QRegularExpression form(QStringLiteral("^#\\?\\.\\(([^()]*)\\)$"));
    const QRegularExpressionMatch match = form.match(pattern);
    if (!match.hasMatch())
        return {pattern};
    QStringList filters;
    for (const QString& extension : match.captured(1).split('|', Qt::SkipEmptyParts)) {
        // File names on this system are case-sensitive; the pattern was not.
        filters << "*." + extension.toLower();
        if (extension.toLower() != extension.toUpper())
            filters << "*." + extension.toUpper();
    }
    return filters.isEmpty() ? QStringList{QStringLiteral("*")} : filters;
}

QString directoryFromDrawer(const QString& drawer)
{
    if (drawer.compare(QStringLiteral("ram:"), Qt::CaseInsensitive) == 0)
        return QDir::tempPath();
    return drawer;
}

QString startDirectory(const RequestOptions& options)
{
    if (!options.initialFile.isEmpty())
        return QFileInfo(options.initialFile).absolutePath();
    const bool ram = options.initialDrawer.compare(QStringLiteral("ram:"), Qt::CaseInsensitive) == 0;
    if (ram && !options.lastFolder.isEmpty() && QFileInfo(options.lastFolder).isDir())
        return options.lastFolder;
    return directoryFromDrawer(options.initialDrawer);
}

void configureFileDialog(QFileDialog& dialog, const RequestOptions& options)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(options.title);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Cancel"));
    dialog.setDirectory(startDirectory(options));
    dialog.selectFile(options.initialFile.isEmpty() ? QString() : QFileInfo(options.initialFile).fileName());
    dialog.setAcceptMode(options.saveMode ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (options.drawersOnly) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(options.saveMode ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    }
    const QString filter = nameFiltersFromPattern(options.pattern).join(' ');
    dialog.setNameFilters({filter, QStringLiteral("All files (*)")});
    dialog.selectNameFilter(filter);
}

RequestAnswer answerFromChosenPath(const QString& chosen, bool drawersOnly)
{
    RequestAnswer answer;
    answer.outcome = RequestAnswer::Outcome::Chosen;
    const QFileInfo info(chosen);
    if (drawersOnly) {
        answer.drawer = QFile::encodeName(QDir::cleanPath(info.absoluteFilePath())).toStdString();
    } else {
        answer.drawer = QFile::encodeName(info.absolutePath()).toStdString();
        answer.file = QFile::encodeName(info.fileName()).toStdString();
    }
    return answer;
}

RequestAnswer FileDialogRequester::ask(const RequestOptions& options)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return {RequestAnswer::Outcome::Failed, {}, {}};
    QFileDialog dialog(parent);
    configureFileDialog(dialog, options);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return answerFromChosenPath(dialog.selectedFiles().constFirst(), options.drawersOnly);
}

} // namespace quorvanta
