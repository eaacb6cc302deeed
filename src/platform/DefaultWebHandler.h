#pragma once

#include <QString>
#include <QStringList>

namespace kq::platform {

// The freedesktop base directories that decide the default applications. Tests build one
// pointing at files of their own.
struct XdgDirectories {
    QString configHome;     // $XDG_CONFIG_HOME, normally ~/.config
    QStringList configDirs; // $XDG_CONFIG_DIRS, normally /etc/xdg
    QString dataHome;       // $XDG_DATA_HOME, normally ~/.local/share
    QStringList dataDirs;   // $XDG_DATA_DIRS, normally /usr/local/share and /usr/share
    QStringList desktops;   // $XDG_CURRENT_DESKTOP, lower case, for <desktop>-mimeapps.list

    static XdgDirectories FromEnvironment();
};

// The installed desktop file that the mimeapps.list files name as the default application of
// the MIME type, as a full path; empty when there is none.
QString DefaultDesktopFile(const QString& mimeType, const XdgDirectories& dirs);

// The Exec line of a desktop file's [Desktop Entry] group with the string escapes (\s, \n, \t,
// \r, \\) resolved; empty when the file or the key is missing.
QString DesktopFileExec(const QString& desktopFilePath);

// The Exec line of the default web browser: the default for x-scheme-handler/https, else for
// x-scheme-handler/http, else for text/html. Empty when none is set up.
QString DefaultWebHandlerExec(const XdgDirectories& dirs);

// The command line that opens target: cut at the first of the placeholders %u %U %f %F (a
// quoted placeholder "%u" is looked for first, then a bare one), then " " and the target are
// appended; without a placeholder they are appended to the whole line.
QString BuildHandlerCommand(const QString& exec, const QString& target);

// Splits a command line into arguments by the desktop-entry quoting rules: blanks separate
// arguments, double quotes group them, and inside quotes a backslash escapes " ` $ and \.
// "%%" becomes "%", and an argument that is one of the other field codes (%i, %c, %k and the
// deprecated ones) is dropped. Returns an empty list when a quote is left open.
QStringList SplitExecArguments(const QString& command);

// The arguments that open target with the given Exec line, as BuildHandlerCommand builds it;
// the target stays one argument whatever characters it holds. Empty when exec is unusable.
QStringList HandlerArguments(const QString& exec, const QString& target);

enum class HandlerStart { NoHandler, Started, FailedToStart };

// Starts the default web browser on target as a detached process (no shell).
HandlerStart StartDefaultWebHandler(const QString& target, const XdgDirectories& dirs);

} // namespace kq::platform
