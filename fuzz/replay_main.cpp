// Runs a fuzz target once on each file of its seed corpus and regression inputs, as an
// ordinary test: any compiler, any sanitizer, no fuzzing engine.

#include "FuzzCheck.h"

#include <QDirIterator>
#include <QFile>
#include <QStringList>

int main() {
    int count = 0;
    for (const QString& folder : QStringLiteral(KQ_FUZZ_INPUTS).split(u'|')) {
        QDirIterator inputs(folder, QDir::Files, QDirIterator::Subdirectories);
        while (inputs.hasNext()) {
            QFile file(inputs.next());
            KQ_CHECK(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   static_cast<size_t>(bytes.size()));
            ++count;
        }
    }
    std::printf("%d inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
