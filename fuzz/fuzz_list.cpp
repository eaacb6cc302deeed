// The lists of --files-from, read from a regular file and from a pipe given by name (as a
// shell's <(...) gives one), written in pieces of any size: every entry read is the entry
// written, and none is lost.

#include "FuzzCheck.h"
#include "cli/ListSource.h"
#include "platform/FileNames.h"

#include <QTemporaryFile>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const char separator = data[0] & 1 ? '\0' : '\n';
    const bool throughPipe = data[0] & 2;
    const qsizetype piece = data[1] + 1;
    const QByteArray list = FuzzInput(data + 2, size - 2);
    QList<QByteArray> expected;
    for (QByteArray entry : list.split(separator)) {
        if (separator == '\n' && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            expected.append(entry);
    }

    QTemporaryFile file;
    int ends[2] = {-1, -1};
    std::thread writer;
    QString name;
    if (throughPipe) {
        KQ_CHECK(::pipe2(ends, O_CLOEXEC) == 0);
        name = QStringLiteral("/dev/fd/%1").arg(ends[0]);
        writer = std::thread([&] {
            for (qsizetype at = 0; at < list.size(); at += piece)
                KQ_CHECK(::write(ends[1], list.constData() + at,
                                 static_cast<size_t>(std::min(piece, list.size() - at))) > 0);
            ::close(ends[1]);
        });
    } else {
        KQ_CHECK(file.open() && file.write(list) == list.size() && file.flush());
        name = file.fileName();
    }
    QList<QByteArray> read;
    {
        ListSource source(name, separator);
        KQ_CHECK(source.IsOpen());
        for (QString path; source.Next(&path);)
            read.append(kq::platform::EncodeFileName(path));
        KQ_CHECK(source.Failure().isEmpty());
    }
    if (throughPipe) {
        writer.join();
        ::close(ends[0]);
    }
    KQ_CHECK(read == expected);
    return 0;
}
