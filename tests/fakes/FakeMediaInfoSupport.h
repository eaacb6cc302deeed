#pragma once

// Helpers for tests that run against the fake media library (FakeMediaInfo.cpp).

#include "TestFiles.h"

#include <QTemporaryDir>

namespace kqtest {

// Path of one build of the fake: "full", "no-uncalled" or "no-close".
inline QString FakeLibraryPath(const char* variant) {
    return QStringLiteral(KQ_FAKE_LIBRARY_ROOT "/%1/libmediainfo.so.0").arg(QLatin1String(variant));
}

// A description file (or other test file) kept with the sources.
inline QString FakeDataPath(const QString& name) {
    return QStringLiteral(KQ_FAKE_DATA_DIR "/") + name;
}

// Writes a description: the magic line, then the given lines.
inline bool WriteDescription(const QString& path, const QStringList& lines) {
    return WriteBytes(path, "KQFAKEMEDIA\n" + lines.join(u'\n').toUtf8() + '\n');
}

// The calls that the fake receives, read back from the file it appends them to, named through
// an environment variable so that it follows the fake into worker processes.
class FakeLog {
public:
    explicit FakeLog(const char* variable = "KQ_FAKE_MEDIAINFO_LOG") : m_variable(variable) {
        qputenv(m_variable, QFile::encodeName(Path()));
    }
    ~FakeLog() { qunsetenv(m_variable); }
    QString Path() const { return m_dir.filePath(QStringLiteral("calls.log")); }
    QStringList Lines() const {
        return QString::fromUtf8(ReadBytes(Path())).split(u'\n', Qt::SkipEmptyParts);
    }
    void Clear() const { QFile::remove(Path()); }

private:
    const char* m_variable;
    QTemporaryDir m_dir;
};

} // namespace kqtest
