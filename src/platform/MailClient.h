#pragma once

#include "DefaultWebHandler.h"

#include <QString>

#include <functional>

namespace kq::platform {

enum class MailOutcome {
    Handed,        // xdg-email ran and exited with status 0
    NotFound,      // no xdg-email on PATH
    NotExecutable, // found, but it cannot be executed
    Failed,        // it exited with another status, or was killed
    // xdg-email ran and exited with status 0, handed no attachment (see MailHandlerAttaches)
    HandedWithoutAttachment,
};

// False when the default mailto: handler is a program that xdg-email gives only a mailto:
// address, whose attach= it ignores: a web browser (webmail) or any program but the mail
// clients known to attach (Thunderbird, Evolution, KMail, Claws Mail and the like). True when
// there is no such default, or MAILER names the mailer: xdg-email decides there, as always.
bool MailHandlerAttaches(const XdgDirectories& dirs);

// Hands a message with one attachment (none when attachmentPath is empty) to the user's mail
// client through xdg-email, which shows it to the user before it is sent, and returns at once;
// done runs with the outcome on this thread's event loop. The command runs from an argument
// vector, never through a shell.
void HandMailToClient(const QString& subject, const QString& attachmentPath, const QString& address,
                      std::function<void(MailOutcome)> done);

} // namespace kq::platform
