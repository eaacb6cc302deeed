#include "ListSource.h"

#include <algorithm>
#include <cstdio>

namespace kq {

ListSource::ListSource(const QString& name, char separator) : m_name(name), m_separator(separator) {
    if (name == QLatin1String("-"))
        m_file.open(stdin, QIODevice::ReadOnly);
    else
        m_file.setFileName(name), m_file.open(QIODevice::ReadOnly);
}

QString ListSource::Failure() const {
    return m_failed ? QStringLiteral("cannot read the list %1: %2").arg(m_name, ErrorString())
                    : QString();
}

bool ListSource::Next(QByteArray* path) {
    for (;;) {
        qsizetype end = m_buffer.indexOf(m_separator, m_start);
        // The end is where a read gives nothing: atEnd() says so of a pipe or FIFO whenever
        // nothing has arrived yet.
        if (end < 0 && !m_ended) {
            QByteArray more(1 << 16, Qt::Uninitialized);
            const qint64 n = m_file.read(more.data(), more.size());
            m_failed = n < 0;
            m_ended = n <= 0;
            m_buffer = m_buffer.mid(m_start) + more.left(std::max<qint64>(n, 0));
            m_start = 0;
            continue;
        }
        if (end < 0 && m_start >= m_buffer.size())
            return false;
        if (end < 0)
            end = m_buffer.size();
        QByteArrayView entry(m_buffer.constData() + m_start, end - m_start);
        m_start = end + 1;
        if (m_separator == '\n' && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty()) {
            *path = entry.toByteArray();
            return true;
        }
    }
}

} // namespace kq
