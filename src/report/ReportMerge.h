#pragma once

#include "ReportForms.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace kq {

// Reads a report line by line and checks that it has exactly the form this program writes
// (the elements, their order and indentation, CR LF line breaks, escaped values). Each line
// between the root's tags goes to element, line break included, as soon as it has been
// checked; nothing is held but the line. False when the report is not of that form (with the
// reason in *error) or when element returns false (with *error empty).
bool ReadReportElements(QIODevice& report, const std::function<bool(const QByteArray&)>& element,
                        QString* error);

// The form of the report that starts report, by its first bytes (read ahead, not taken);
// false when it is no report of this program.
bool PeekReportForm(QIODevice& report, ReportForm* form);

// Reads a report of the given form and checks that it has exactly the form this program
// writes: XML as ReadReportElements reads it (each line a record of file 0); CSV and JSON with
// their header or brackets, every record of the right shape, files numbered from 1 on. Each
// record goes to record as soon as it has been checked: the file's number and the record's
// text after RecordStart() (CSV: one row and its line break; JSON: one object). False
// when the report is not of that form (with the line in *error) or when record returns false
// (with *error empty).
bool ReadReportRecords(QIODevice& report, ReportForm form,
                       const std::function<bool(qint64, const QByteArray&)>& record,
                       QString* error);

} // namespace kq
