#pragma once

#include "media/MediaFields.h"
#include "report/FileReport.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <optional>

// The files of a report as a strict XML reader reads them, or nothing when it is not well-formed
// or not of the report's form. The report writes control characters as character references,
// XML 1.1's form, and U+FFFE and U+FFFF as they are, as it always has; XML 1.0 readers refuse
// both, so they are read through stand-ins of the private use area (a report that holds those
// stand-ins itself is not checked: *checked is false).
inline std::optional<QList<FileReport>> ReadAsXml(QByteArray report, bool* checked) {
    static const QRegularExpression own("[\\x{E000}-\\x{E0FF}]"),
        control("&#x(0[1-8BCEF]|1[0-9A-F]);");
    *checked = !QString::fromUtf8(report).contains(own);
    report.replace("\xEF\xBF\xBE", "&#xE0FE;").replace("\xEF\xBF\xBF", "&#xE0FF;");
    QXmlStreamReader xml(QString::fromUtf8(report).replace(control, "&#xE0\\1;"));
    QList<FileReport> files;
    QStringList* values = nullptr;
    while (!xml.atEnd()) {
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
        else if (values) {
            QString text = xml.readElementText();
            for (QChar& c : text)
                if (c.unicode() >= 0xe000 && c.unicode() <= 0xe0ff)
                    c = QChar(c.unicode() >= 0xe0fe ? c.unicode() + 0x1f00 : c.unicode() - 0xe000);
            values->append(text);
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return files;
}
