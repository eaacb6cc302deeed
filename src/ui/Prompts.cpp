#include "Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

void CWidgetPrompts::ConfigureOpenDialog(QFileDialog& dialog, const QStringList& nameFilters) {
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog matches the name filters without regard to case (CLIP.MP4 is a video),
    // which the desktop's native dialogs do not promise.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setNameFilters(nameFilters);
}

QStringList CWidgetPrompts::GetOpenFileNames(QWidget* parent, const QStringList& nameFilters) {
    QFileDialog dialog(parent);
    ConfigureOpenDialog(dialog, nameFilters);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString CWidgetPrompts::GetSaveFileName(QWidget* parent, const QString& defaultName,
                                        const QString& nameFilter) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // No default suffix: a name typed without an extension is used as typed.
    dialog.setNameFilter(nameFilter);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void CWidgetPrompts::ShowWarning(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
}

void CWidgetPrompts::ShowNotice(QWidget* parent, const QString& caption, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CWidgetPrompts::Beep() { QApplication::beep(); }

IPrompts& DefaultPrompts() {
    static CWidgetPrompts prompts;
    return prompts;
}
