#pragma once

#include "platform/MailClient.h"

#include <QString>

#include <functional>

inline constexpr const char* kMailSubject = "Report of Media Infomation";
inline constexpr const char* kSupportAddress = "support@kqmedia.example";

// The message shown for a mail outcome; empty when there is nothing to tell the user.
QString MailOutcomeText(kq::platform::MailOutcome outcome);

// Hands the report file to the mail client, addressed to the support mailbox, and returns at
// once; done runs with the outcome on this thread's event loop.
void MailReportFile(const QString& reportPath, std::function<void(kq::platform::MailOutcome)> done);
