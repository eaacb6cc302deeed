#pragma once

#include <QObject>
#include <QString>

namespace kq::platform {

// Result codes of opening a link follow the shell's convention: above 32 means success, and
// 1 to 32 name the reason of a failure (2 file not found, 31 no associated application, ...).
inline constexpr int kLinkOpened = 42;

// The result code for an xdg-open run: exit status 0 is success; 1 (bad arguments), 2 (the file
// does not exist) and 4 (the action failed) keep their numbers; 3 (no tool found to open it)
// is the shell's "no associated application" (31). A run that could not start, was killed or
// ended with any other status counts as "file not found" (2).
int XdgOpenResultCode(bool started, bool exited, int exitCode);

// Opens a link with xdg-open, found on PATH as the shell finds it, as a child process
// (argument vector, no shell). xdg-open may wait for the browser it starts until the browser
// ends, so a run still going after a moment counts as opened; the result code comes from the
// event loop either way, and nothing waits for or ends the child.
class LinkOpener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts opening the target; Finished follows exactly once, from the event loop.
    void Open(const QString& target);

signals:
    // started: whether xdg-open itself could be run.
    void Finished(const QString& target, int resultCode, bool started);
};

} // namespace kq::platform
