#pragma once

#include <QApplication>

// The application: it runs the main window modally and ends when the window closes, however
// it was closed.
class CKQCheckMediaInfoApp : public QApplication {
    Q_OBJECT
public:
    CKQCheckMediaInfoApp(int& argc, char** argv);

    // Runs the main window; returns the process exit status (0).
    int InitInstance();
};
