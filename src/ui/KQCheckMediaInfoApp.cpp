#include "KQCheckMediaInfoApp.h"

#include "KQCheckMediaInfoDlg.h"
#include "platform/FileNames.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

#include <sys/stat.h>

namespace kq {

// No application name is set: messages are captioned with the executable's name.
CKQCheckMediaInfoApp::CKQCheckMediaInfoApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Not arguments(), which reads a name that is not UTF-8 as text and loses its bytes.
    for (int i = 0; i < argc; ++i)
        m_arguments << kq::platform::DecodeFileName(argv[i]);
}

CKQCheckMediaInfoApp::CommandLine
CKQCheckMediaInfoApp::ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Collects the technical properties of media files into one report.\n"
        "Files and folders given are put in the list; folders are searched for video and "
        "still-image files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("Media files or folders."),
                                 QStringLiteral("[path...]"));
    CommandLine line;
    const QString program = QFileInfo(arguments.value(0)).fileName();
    // Nothing on the command line keeps the window from opening: the rest is named and ignored.
    parser.parse(arguments);
    for (const QString& option : parser.unknownOptionNames())
        line.messages += QStringLiteral("%1: ignoring unknown option %2%3\n")
                             .arg(program, QLatin1String(option.size() == 1 ? "-" : "--"), option);
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        line.output = parser.isSet(QStringLiteral("help"))
                          ? parser.helpText()
                          : QStringLiteral("%1 %2\n").arg(program, applicationVersion());
        line.showWindow = false;
        return line;
    }
    for (const QString& path : parser.positionalArguments()) {
        struct stat st {};
        if (::stat(kq::platform::EncodeFileName(path).constData(), &st) == 0)
            line.paths.append(kq::platform::AbsoluteFileName(path));
        else
            line.messages += QStringLiteral("%1: ignoring %2: no such file or folder\n")
                                 .arg(program, kq::platform::DisplayFileName(path));
    }
    return line;
}

int CKQCheckMediaInfoApp::Run(const QStringList& arguments) {
    const CommandLine line = ReadCommandLine(arguments);
    std::fputs(line.output.toLocal8Bit().constData(), stdout);
    std::fputs(line.messages.toLocal8Bit().constData(), stderr);
    if (!line.showWindow)
        return 0;
    CKQCheckMediaInfoDlg dlg;
    dlg.AddPaths(CKQCheckMediaInfoDlg::DroppedPaths(line.paths));
    // Accepted (Enter) or rejected (Exit, close, Escape): the program ends the same way.
    dlg.exec();
    return 0;
}

} // namespace kq
