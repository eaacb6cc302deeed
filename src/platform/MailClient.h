#pragma once

#include <QString>

#include <functional>

namespace kq::platform {

enum class MailOutcome {
    Handed,        // xdg-email ran and exited with status 0
    NotFound,      // no xdg-email on PATH
    NotExecutable, // found, but it cannot be executed
    Failed,        // it exited with another status, or was killed
};

// Hands a message with one attachment to the user's mail client through xdg-email, which
// shows it to the user before it is sent, and returns at once; done runs with the outcome on
// this thread's event loop. The command runs from an argument vector, never through a shell.
void HandMailToClient(const QString& subject, const QString& attachmentPath, const QString& address,
                      std::function<void(MailOutcome)> done);

} // namespace kq::platform
