#pragma once

#include "ReportXml.h"

#include <QByteArray>
#include <QString>

namespace kq {

// The forms a report is written in. XML is the report of record (MediaFileInfo.xml); CSV
// (RFC 4180) and JSON (RFC 8259) carry the same values, exactly as the XML has them, and
// beside them the numbers that the XML shows only as text, and the files left out.
enum class ReportForm { Xml, Csv, Json };

// "xml", "csv", "json"; false for anything else.
bool ParseReportForm(const QString& name, ReportForm* form);
// The name of a form as the tool's messages use it ("XML", "CSV", "JSON").
QString ReportFormName(ReportForm form);

// True when a CSV field must be quoted: it holds a comma, a quote or a line break (RFC 4180).
bool NeedsCsvQuotes(QByteArrayView field);

// The CSV header row, line break included: the columns in order.
QByteArray CsvHeader();

// Writes a report of one form a file at a time, each as soon as it is given, in list order.
// path is the file's name as it was analysed: its bytes.
class ReportStream {
public:
    ReportStream(ReportForm form, ReportWriter::Output output);
    bool Add(const QByteArray& path, const FileReport& file);
    // A file left out of the report: a row of its own in CSV and JSON; nothing in XML.
    bool AddLeftOut(const QByteArray& path, const QString& reason);
    // A file's record of a checked part of another report of this form, given its position
    // in this one (CSV: its rows; JSON: its object, without the separator).
    bool AddRecord(qint64 file, const QByteArray& rest);
    bool Finish();
    qint64 Files() const { return m_files; }

private:
    bool Begin();
    bool Separated(const QByteArray& record);

    ReportForm m_form;
    ReportWriter::Output m_output;
    ReportWriter m_xml;
    qint64 m_files = 0;
    bool m_started = false;
};

// What a file's record starts with in CSV and JSON: its position ("3," and "{\"file\":3,").
QByteArray RecordStart(ReportForm form, qint64 file);

} // namespace kq
