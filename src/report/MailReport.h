#pragma once

#include "platform/MailClient.h"

#include <QString>

#include <functional>

namespace kq {

inline constexpr const char* kMailSubject = "Report of Media Infomation";
inline constexpr const char* kSupportAddress = "support@kqmedia.example";

// The message shown for a mail outcome; empty when there is nothing to tell the user.
QString MailOutcomeText(kq::platform::MailOutcome outcome);

// What to tell the user when the mail program cannot take the report as an attachment.
QString AttachByHandText(const QString& reportPath);

// Hands the report file to the mail client, addressed to the support mailbox, and returns at
// once; done runs with the outcome on this thread's event loop. Where the mail program cannot
// take an attachment (MailHandlerAttaches), the message goes without it, the report is shown
// in the file manager, and the outcome is HandedWithoutAttachment.
void MailReportFile(const QString& reportPath, std::function<void(kq::platform::MailOutcome)> done);

} // namespace kq
