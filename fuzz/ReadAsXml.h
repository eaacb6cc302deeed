#pragma once

#include "media/MediaFields.h"
#include "report/FileReport.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <optional>

using namespace kq;

// The files of a report as a strict XML reader reads them, or nothing when it is not well-formed
// or not of the report's form. The report writes control characters as character references,
// XML 1.1's form, and U+FFFE and U+FFFF as they are, as it always has; XML 1.0 readers refuse
// both, so a report that holds them is not read (*checked is false).
inline std::optional<QList<FileReport>> ReadAsXml(const QByteArray& report, bool* checked) {
    static const QRegularExpression xml11("&#x(0[1-8BCEF]|1[0-9A-F]);|\\x{FFFE}|\\x{FFFF}");
    *checked = !QString::fromUtf8(report).contains(xml11);
    QXmlStreamReader xml(report);
    QList<FileReport> files;
    QStringList* values = nullptr;
    while (*checked && !xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() == u"AllFileInfo")
            continue;
        const QStringView name = xml.name();
        if (name == u"FileInfo")
            files.emplace_back(), values = nullptr;
        else if (files.isEmpty())
            return std::nullopt;
        else if (name == QLatin1String(kGeneralSection.element))
            values = &files.last().general;
        else if (name == QLatin1String(kVideoSection.element))
            values = &files.last().video.emplace_back();
        else if (name == QLatin1String(kAudioSection.element))
            values = &files.last().audio.emplace_back();
        else if (values)
            values->append(xml.readElementText());
    }
    if (xml.hasError())
        return std::nullopt;
    return files;
}
