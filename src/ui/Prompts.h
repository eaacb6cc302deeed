#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class QFileDialog;

namespace kq {

struct LeftOutFile;

// Every modal question and message of the window goes through this interface, so that the
// window can be driven without a person in front of it.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    // The files chosen in a multi-select Open dialog (existing files only); empty on cancel.
    // nameFilters are Qt name filters ("Title (*.a *.b)"), the first one selected.
    virtual QStringList GetOpenFileNames(QWidget* parent, const QStringList& nameFilters) = 0;

    // The file name chosen in a Save As dialog offering defaultName under one name filter
    // ("Title (*.ext)"); the user confirms replacing an existing file. Empty on cancel.
    virtual QString GetSaveFileName(QWidget* parent, const QString& defaultName,
                                    const QString& nameFilter) = 0;

    // A modal warning box with an OK button.
    virtual void ShowWarning(QWidget* parent, const QString& caption, const QString& text) = 0;

    // A warning box with an OK button that returns at once and leaves the window usable, for
    // news that arrives from background work.
    virtual void ShowNotice(QWidget* parent, const QString& caption, const QString& text) = 0;

    // A notice like ShowNotice that lists files left out of a report, each with its reason,
    // as many as there are.
    virtual void ShowLeftOut(QWidget* parent, const QString& caption,
                             const QList<LeftOutFile>& files) = 0;

    // The system's warning sound.
    virtual void Beep() = 0;
};


// The real dialogs.
class CWidgetPrompts : public IPrompts {
public:
    // Sets up the Open dialog of GetOpenFileNames: existing files, several at once, the name
    // filters matched without regard to case.
    static void ConfigureOpenDialog(QFileDialog& dialog, const QStringList& nameFilters);

    QStringList GetOpenFileNames(QWidget* parent, const QStringList& nameFilters) override;
    QString GetSaveFileName(QWidget* parent, const QString& defaultName,
                            const QString& nameFilter) override;
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override;
    void ShowNotice(QWidget* parent, const QString& caption, const QString& text) override;
    void ShowLeftOut(QWidget* parent, const QString& caption,
                     const QList<LeftOutFile>& files) override;
    void Beep() override;
};

// The process-wide real prompts, used when a window is given none.
IPrompts& DefaultPrompts();

} // namespace kq
