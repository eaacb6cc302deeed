#include "KQCheckMediaInfoApp.h"
#include "platform/Utf8Locale.h"

using namespace kq;

int main(int argc, char** argv) {
    // Before Qt reads the locale: the media library needs UTF-8 to open non-ASCII paths.
    kq::platform::EnsureUtf8Locale();
    CKQCheckMediaInfoApp app(argc, argv);
    CKQCheckMediaInfoApp::setApplicationVersion(QStringLiteral(KQ_VERSION));
    // Lets Wayland desktops give the window the entry's name and icon on the taskbar.
    CKQCheckMediaInfoApp::setDesktopFileName(QStringLiteral("example.kqmedia.KQCheckMediaInfo"));
    return app.InitInstance();
}
