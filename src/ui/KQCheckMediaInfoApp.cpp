#include "KQCheckMediaInfoApp.h"

#include "KQCheckMediaInfoDlg.h"

// No application name is set: messages are captioned with the executable's name.
CKQCheckMediaInfoApp::CKQCheckMediaInfoApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CKQCheckMediaInfoApp::InitInstance() {
    CKQCheckMediaInfoDlg dlg;
    // Accepted (Enter) or rejected (Exit, close, Escape): the program ends the same way.
    dlg.exec();
    return 0;
}
