// The lists of --files-from, read from a regular file and from a pipe given by name (as a
// shell's <(...) gives one): every entry read is the entry written, and none is lost.

#include "FuzzCheck.h"
#include "cli/ListSource.h"

#include <QTemporaryFile>

#include <fcntl.h>
#include <unistd.h>

using namespace kq;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const char separator = data[0] & 1 ? '\0' : '\n';
    const bool throughPipe = data[0] & 2;
    const QByteArray list = FuzzInput(data + 1, size - 1);
    QList<QByteArray> expected;
    for (QByteArray entry : list.split(separator)) {
        if (separator == '\n' && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            expected.append(entry);
    }

    QTemporaryFile file;
    int ends[2] = {-1, -1};
    // A list fits in the pipe whole (the fuzzer's inputs are far smaller): it is written, and
    // then read as a sequential file whose bytes have not been buffered yet.
    if (throughPipe)
        KQ_CHECK(::pipe2(ends, O_CLOEXEC) == 0 && list.size() < 65536 &&
                 ::write(ends[1], list.constData(), size_t(list.size())) == list.size() &&
                 ::close(ends[1]) == 0);
    else
        KQ_CHECK(file.open() && file.write(list) == list.size() && file.flush());
    const QString name = throughPipe ? QStringLiteral("/dev/fd/%1").arg(ends[0]) : file.fileName();
    QList<QByteArray> read;
    {
        ListSource source(name, separator);
        KQ_CHECK(source.IsOpen());
        for (QByteArray path; source.Next(&path);)
            read.append(path);
        KQ_CHECK(source.Failure().isEmpty());
    }
    if (throughPipe)
        ::close(ends[0]);
    KQ_CHECK(read == expected);
    return 0;
}
