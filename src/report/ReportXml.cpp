#include "ReportXml.h"

#include "media/MediaFields.h"

#include <tinyxml.h>

namespace kq {

namespace {

// Appends <name>value</name> to parent; an empty value still gets its (empty) text node.
void AddTextElement(TiXmlElement* parent, const QString& name, const QString& value) {
    auto* element = new TiXmlElement(name.toUtf8().constData());
    parent->LinkEndChild(element);
    element->LinkEndChild(new TiXmlText(value.toUtf8().constData()));
}

const QByteArray kRootStart = "<AllFileInfo>\r\n";
const QByteArray kRootEnd = "</AllFileInfo>\r\n";
const QByteArray kEmptyRoot = "<AllFileInfo />\r\n";

TiXmlElement* AddContainer(TiXmlNode* parent, const char* name) {
    auto* element = new TiXmlElement(name);
    parent->LinkEndChild(element);
    return element;
}

void AddSection(TiXmlElement* fileInfo, const MediaSection& section, const QStringList& values) {
    TiXmlElement* parent = AddContainer(fileInfo, section.element);
    for (int i = 0; i < section.fieldCount; ++i)
        AddTextElement(parent, QLatin1String(section.fields[i].leaf), values.value(i));
}

} // namespace

QByteArray RenderFileInfo(const FileReport& file) {
    TiXmlDocument document;
    TiXmlElement* fileInfo = AddContainer(AddContainer(&document, "AllFileInfo"), "FileInfo");
    AddSection(fileInfo, kGeneralSection, file.general);
    for (const QStringList& video : file.video)
        AddSection(fileInfo, kVideoSection, video);
    for (const QStringList& audio : file.audio)
        AddSection(fileInfo, kAudioSection, audio);
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\r\n");
    document.Accept(&printer);
    // The element as it stands inside the root: without the root's own two lines.
    const QByteArray text(printer.CStr(), static_cast<qsizetype>(printer.Size()));
    return text.mid(kRootStart.size(), text.size() - kRootStart.size() - kRootEnd.size());
}

bool ReportWriter::Add(const FileReport& file) {
    return AddText(RenderFileInfo(file));
}

bool ReportWriter::AddText(const QByteArray& text) {
    return m_output(std::exchange(m_started, true) ? text : kRootStart + text);
}

bool ReportWriter::Finish() {
    return m_output(m_started ? kRootEnd : kEmptyRoot);
}

} // namespace kq
