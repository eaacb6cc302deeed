#include "Prompts.h"

#include "platform/FileNames.h"
#include "report/FileReport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

namespace kq {

void CWidgetPrompts::ConfigureOpenDialog(QFileDialog& dialog, const QStringList& nameFilters) {
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog matches the name filters without regard to case (CLIP.MP4 is a video),
    // which the desktop's native dialogs do not promise.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    // "*.*" means every file where these filters come from, with or without an extension;
    // Qt's needs a dot. Such a filter matches "*" and keeps its own title on display.
    QStringList matching = nameFilters;
    for (QString& filter : matching)
        if (filter.endsWith(QLatin1String("(*.*)")))
            filter = filter.chopped(5) + QStringLiteral("(*)");
    dialog.setNameFilters(matching);
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        for (int i = 0; i < types->count() && i < nameFilters.size(); ++i)
            types->setItemText(i, nameFilters[i]);
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

void CWidgetPrompts::ShowLeftOut(QWidget* parent, const QString& caption,
                                 const QList<LeftOutFile>& files) {
    auto* notice = new QDialog(parent);
    notice->setObjectName(QStringLiteral("leftOutNotice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowTitle(caption);
    auto* icon = new QLabel(notice);
    icon->setPixmap(notice->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("These files were left out of the report:"), notice);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A list scrolls where a message box would grow taller than the screen.
    auto* list = new QListWidget(notice);
    list->setObjectName(QStringLiteral("leftOutList"));
    list->setMinimumWidth(560);
    const QFontMetrics metrics(list->font());
    for (const LeftOutFile& file : files) {
        const QString reason = QStringLiteral(": ") + file.reason;
        const QString path = kq::platform::DisplayFileName(file.path);
        // A long path loses its middle, never its end: the file's name stays readable.
        const int room = qMax(160, 540 - metrics.horizontalAdvance(reason));
        auto* item =
            new QListWidgetItem(metrics.elidedText(path, Qt::ElideMiddle, room) + reason, list);
        item->setToolTip(path);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, notice);
    QObject::connect(buttons, &QDialogButtonBox::accepted, notice, &QDialog::close);
    auto* layout = new QGridLayout(notice);
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addWidget(text, 0, 1);
    layout->addWidget(list, 1, 0, 1, 2);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    if (const QScreen* screen = notice->screen())
        notice->setMaximumHeight(screen->availableGeometry().height() * 2 / 3);
    notice->setWindowModality(Qt::NonModal);
    notice->show();
    // Asked for by the user's own command, so it takes the keyboard: a Return meant for it must
    // not reach the main window (with no window manager, nothing would give it the focus).
    notice->raise();
    notice->activateWindow();
}

void CWidgetPrompts::Beep() {
    QApplication::beep();
}

IPrompts& DefaultPrompts() {
    static CWidgetPrompts prompts;
    return prompts;
}

} // namespace kq
