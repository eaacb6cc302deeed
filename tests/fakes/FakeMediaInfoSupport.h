#pragma once

// Helpers for tests that run against the fake media library (FakeMediaInfo.cpp).

#include "TestFiles.h"

#include <QStringList>

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

} // namespace kqtest
