#pragma once

// Helpers for tests that run against the fake media library (FakeMediaInfo.cpp).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "TestFiles.h"

namespace kqtest {

// Path of one build of the fake: "full", "no-uncalled" or "no-close".
inline QString FakeLibraryPath(const char* variant) {
    return QStringLiteral(KQ_FAKE_LIBRARY_ROOT "/%1/libmediainfo.so.0").arg(QLatin1String(variant));
}

inline QString FakeLibraryDirectory(const char* variant) {
    return QStringLiteral(KQ_FAKE_LIBRARY_ROOT "/%1").arg(QLatin1String(variant));
}

// A description file (or other test file) kept with the sources.
inline QString FakeDataPath(const QString& name) {
    return QStringLiteral(KQ_FAKE_DATA_DIR "/") + name;
}

// Writes a description: the magic line, then the given lines.
inline bool WriteDescription(const QString& path, const QStringList& lines) {
    QByteArray bytes = "KQFAKEMEDIA\n";
    for (const QString& line : lines)
        bytes += line.toUtf8() + '\n';
    return WriteBytes(path, bytes);
}

// The calls that the fake receives, read back from the file it appends them to. The file is
// named through an environment variable, so it follows the fake wherever it is loaded from.
class FakeLog {
public:
    explicit FakeLog(const char* variable = "KQ_FAKE_MEDIAINFO_LOG")
        : m_variable(variable), m_path(m_dir.filePath(QStringLiteral("calls.log"))) {
        qputenv(m_variable, QFile::encodeName(m_path));
    }
    ~FakeLog() { qunsetenv(m_variable); }
    FakeLog(const FakeLog&) = delete;
    FakeLog& operator=(const FakeLog&) = delete;

    bool IsValid() const { return m_dir.isValid(); }

    // One entry per call, in call order.
    QStringList Lines() const {
        QString text = QString::fromUtf8(ReadBytes(m_path));
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    void Clear() const { QFile::remove(m_path); }

private:
    const char* m_variable;
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace kqtest
