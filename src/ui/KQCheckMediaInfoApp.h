#pragma once

#include <QApplication>
#include <QStringList>

namespace kq {

// The application: it runs the main window modally and ends when the window closes, however
// it was closed.
class CKQCheckMediaInfoApp : public QApplication {
    Q_OBJECT
public:
    CKQCheckMediaInfoApp(int& argc, char** argv);

    // What the command line asks for: files and folders for the list (as a file manager's
    // "Open with" gives them), or only --help or --version.
    struct CommandLine {
        QStringList paths; // existing files and folders, in the order given
        QString output;    // for standard output
        QString messages;  // for standard error: what was ignored, one line each
        bool showWindow = true;
    };
    static CommandLine ReadCommandLine(const QStringList& arguments);

    // Runs the main window with the command line's files and folders in its list; returns the
    // process exit status (0).
    int InitInstance() { return Run(m_arguments); }
    int Run(const QStringList& arguments);

private:
    QStringList m_arguments; // as DecodeFileName gives them: file names keep their bytes
};

} // namespace kq
