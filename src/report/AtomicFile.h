#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFileDevice;

namespace kq {

// A file written whole or not at all: into an unnamed temporary file beside it, which no
// interruption leaves behind, that replaces it at Commit. A device or pipe (/dev/stdout, a
// FIFO) is written to as it is: renaming a file over it would replace the device node.
class AtomicFile {
public:
    AtomicFile();
    ~AtomicFile();
    bool Open(const QString& path);
    bool Write(const QByteArray& bytes);
    bool Commit();
    QString ErrorString() const;

private:
    std::unique_ptr<QFileDevice> m_file;
    QString m_flushError;
};

} // namespace kq
