#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// Reads a report line by line and checks that it has exactly the form this program writes
// (the elements, their order and indentation, CR LF line breaks, escaped values). Each line
// between the root's tags goes to element, line break included, as soon as it has been
// checked; nothing is held but the line. False when the report is not of that form (with the
// reason in *error) or when element returns false (with *error empty).
bool ReadReportElements(QIODevice& report, const std::function<bool(const QByteArray&)>& element,
                        QString* error);
