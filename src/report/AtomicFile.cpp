#include "AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace kq {

AtomicFile::AtomicFile() = default;
AtomicFile::~AtomicFile() = default;

bool AtomicFile::Open(const QString& path) {
    if (const QFileInfo target(path); target.exists() && !target.isFile() && !target.isDir())
        m_file = std::make_unique<QFile>(path);
    else
        m_file = std::make_unique<QSaveFile>(path);
    return m_file->open(QIODevice::WriteOnly);
}

bool AtomicFile::Write(const QByteArray& bytes) {
    return m_file->write(bytes) == bytes.size();
}

bool AtomicFile::Commit() {
    // Flush first: commit() does not notice a failed final flush (a full disk, a file-size
    // limit) and would rename a truncated file over the report.
    auto* save = qobject_cast<QSaveFile*>(m_file.get());
    if (!m_file->flush()) {
        // QFileDevice words a failed flush as "Unknown error"; the system's reason is better.
        m_flushError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return !save || save->commit();
}

QString AtomicFile::ErrorString() const {
    return !m_flushError.isEmpty() ? m_flushError : m_file ? m_file->errorString() : QString();
}

} // namespace kq
