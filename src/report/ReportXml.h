#pragma once

#include "FileReport.h"

#include <QByteArray>

#include <functional>

namespace kq {

// The text of one FileInfo element of the report file, line breaks included, as TinyXML
// prints it: four spaces of indentation, CR LF line breaks, values escaped.
QByteArray RenderFileInfo(const FileReport& file);

// Writes a report one FileInfo at a time, in the report file's exact text form: the root's
// start tag goes out with the first file; a report without files is the root's empty tag.
class ReportWriter {
public:
    using Output = std::function<bool(const QByteArray&)>;
    explicit ReportWriter(Output output) : m_output(std::move(output)) {}
    bool Add(const FileReport& file);
    // Text of FileInfo elements already in the report's form (a line of a checked report).
    bool AddText(const QByteArray& text);
    bool Finish();

private:
    Output m_output;
    bool m_started = false;
};

} // namespace kq
