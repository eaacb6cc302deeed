#pragma once

#include <QString>

namespace kq::platform {

enum class MailOutcome {
    Handed,        // xdg-email ran and exited with status 0
    NotFound,      // no xdg-email on PATH
    NotExecutable, // found, but it cannot be executed
    Failed,        // it exited with another status, or was killed
};

// Hands a message with one attachment to the user's mail client through xdg-email, which
// shows it to the user before it is sent. Blocks until xdg-email ends: call it off the
// user-interface thread. The command runs from an argument vector, never through a shell.
MailOutcome HandMailToClient(const QString& subject, const QString& attachmentPath,
                             const QString& address);

} // namespace kq::platform
