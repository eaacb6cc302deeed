#include "DefaultWebHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

namespace kq::platform {

namespace {

QStringList PathList(const char* variable, const QStringList& fallback) {
    QStringList list;
    for (const QString& dir :
         qEnvironmentVariable(variable).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            list.append(dir);
    return list.isEmpty() ? fallback : list;
}

QString HomeDir(const char* variable, const QString& fallback) {
    const QString dir = qEnvironmentVariable(variable);
    return !dir.isEmpty() && QDir::isAbsolutePath(dir) ? dir : QDir::homePath() + fallback;
}

// The value of key in the group of an ini-style desktop file (mimeapps.list, *.desktop).
QString ReadKey(const QString& path, const QString& group, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == header;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

QStringList MimeAppsLists(const XdgDirectories& dirs) {
    QStringList files;
    auto add = [&](const QString& dir) {
        for (const QString& desktop : dirs.desktops)
            files.append(dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(dir + QStringLiteral("/mimeapps.list"));
    };
    add(dirs.configHome);
    for (const QString& dir : dirs.configDirs)
        add(dir);
    add(dirs.dataHome + QStringLiteral("/applications"));
    for (const QString& dir : dirs.dataDirs)
        add(dir + QStringLiteral("/applications"));
    return files;
}

QString FindDesktopFile(const QString& desktopId, const XdgDirectories& dirs) {
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')))
        return {};
    QStringList roots{dirs.dataHome};
    roots += dirs.dataDirs;
    for (const QString& root : roots) {
        const QString path = root + QStringLiteral("/applications/") + desktopId;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString UnescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default: // not a string escape: it belongs to the quoting rules of Exec
            out += c;
            out += next;
        }
    }
    return out;
}

const char* const kPlaceholders[] = {"%u", "%U", "%f", "%F"};

// The position of the earliest placeholder in exec, quoted ("%u") first, then bare; -1 if none.
qsizetype FindPlaceholder(const QString& exec) {
    for (bool quoted : {true, false}) {
        qsizetype best = -1;
        for (const char* code : kPlaceholders) {
            const QString needle = quoted ? QStringLiteral("\"%1\"").arg(QLatin1String(code))
                                          : QString::fromLatin1(code);
            for (qsizetype from = 0;;) {
                const qsizetype at = exec.indexOf(needle, from);
                if (at < 0)
                    break;
                // "%%u" is an escaped percent sign followed by a letter, not a placeholder.
                const qsizetype percent = quoted ? at + 1 : at;
                if (percent > 0 && exec[percent - 1] == QLatin1Char('%')) {
                    from = at + 1;
                    continue;
                }
                if (best < 0 || at < best)
                    best = at;
                break;
            }
        }
        if (best >= 0)
            return best;
    }
    return -1;
}

bool IsDroppedFieldCode(const QString& argument) {
    static const QStringList codes{QStringLiteral("%i"), QStringLiteral("%c"), QStringLiteral("%k"),
                                   QStringLiteral("%d"), QStringLiteral("%D"), QStringLiteral("%n"),
                                   QStringLiteral("%N"), QStringLiteral("%v"), QStringLiteral("%m"),
                                   QStringLiteral("%u"), QStringLiteral("%U"), QStringLiteral("%f"),
                                   QStringLiteral("%F")};
    return codes.contains(argument);
}

} // namespace

XdgDirectories XdgDirectories::FromEnvironment() {
    XdgDirectories dirs;
    dirs.configHome = HomeDir("XDG_CONFIG_HOME", QStringLiteral("/.config"));
    dirs.configDirs = PathList("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
    dirs.dataHome = HomeDir("XDG_DATA_HOME", QStringLiteral("/.local/share"));
    dirs.dataDirs = PathList("XDG_DATA_DIRS",
                             {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (const QString& desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dirs.desktops.append(desktop.toLower());
    return dirs;
}

QString DefaultDesktopFile(const QString& mimeType, const XdgDirectories& dirs) {
    for (const QString& list : MimeAppsLists(dirs)) {
        const QString value = ReadKey(list, QStringLiteral("Default Applications"), mimeType);
        for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString path = FindDesktopFile(id.trimmed(), dirs);
            if (!path.isEmpty())
                return path;
        }
    }
    return {};
}

QString DesktopFileExec(const QString& desktopFilePath) {
    return UnescapeValue(
        ReadKey(desktopFilePath, QStringLiteral("Desktop Entry"), QStringLiteral("Exec")));
}

QString DefaultWebHandlerExec(const XdgDirectories& dirs) {
    for (const char* type : {"x-scheme-handler/https", "x-scheme-handler/http", "text/html"}) {
        const QString desktopFile = DefaultDesktopFile(QString::fromLatin1(type), dirs);
        if (desktopFile.isEmpty())
            continue;
        const QString exec = DesktopFileExec(desktopFile);
        if (!exec.isEmpty())
            return exec;
    }
    return {};
}

QString BuildHandlerCommand(const QString& exec, const QString& target) {
    const qsizetype at = FindPlaceholder(exec);
    return (at < 0 ? exec : exec.left(at)) + QLatin1Char(' ') + target;
}

QStringList SplitExecArguments(const QString& command) {
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    bool wasQuoted = false;
    auto finish = [&] {
        if (inArgument) {
            if (wasQuoted || !IsDroppedFieldCode(current))
                arguments.append(current);
        }
        current.clear();
        inArgument = wasQuoted = false;
    };
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (c == QLatin1Char('%') && i + 1 < command.size() && command[i + 1] == QLatin1Char('%')) {
            // "%%" is a literal percent sign, quoted or not.
            current += c;
            inArgument = true;
            ++i;
        } else if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < command.size() &&
                       QStringLiteral("\"`$\\").contains(command[i + 1])) {
                current += command[++i];
            } else {
                current += c;
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            finish();
        } else if (c == QLatin1Char('"')) {
            quoted = wasQuoted = inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return {};
    finish();
    return arguments;
}

QStringList HandlerArguments(const QString& exec, const QString& target) {
    const qsizetype at = FindPlaceholder(exec);
    QStringList arguments = SplitExecArguments(at < 0 ? exec : exec.left(at));
    if (arguments.isEmpty())
        return {};
    arguments.append(target);
    return arguments;
}

HandlerStart StartDefaultWebHandler(const QString& target, const XdgDirectories& dirs) {
    const QStringList arguments = HandlerArguments(DefaultWebHandlerExec(dirs), target);
    if (arguments.isEmpty())
        return HandlerStart::NoHandler;
    return QProcess::startDetached(arguments.first(), arguments.mid(1))
               ? HandlerStart::Started
               : HandlerStart::FailedToStart;
}

} // namespace kq::platform
