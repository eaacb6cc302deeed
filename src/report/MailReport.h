#pragma once

#include "platform/MailClient.h"

#include <QString>

#include <functional>

inline constexpr const char* kMailSubject = "Report of Media Infomation";
inline constexpr const char* kSupportAddress = "support@kqmedia.example";

// The message shown for a mail outcome; empty when there is nothing to tell the user.
QString MailOutcomeText(kq::platform::MailOutcome outcome);

// Starts one worker thread that hands the report file to the mail client and returns at once.
// done runs on the thread of the application object with the outcome. Nothing waits for the
// worker: at program exit it simply ends, and the mail client it started keeps running.
void StartMailThread(const QString& reportPath,
                     std::function<void(kq::platform::MailOutcome)> done);
