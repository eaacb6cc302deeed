#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that every input must keep; a broken one ends the run, so the fuzzer keeps the
// input that broke it.
#define KQ_CHECK(condition)                                                                        \
    ((condition)                                                                                   \
         ? (void)0                                                                                 \
         : (std::fprintf(stderr, "%s:%d: does not hold: %s\n", __FILE__, __LINE__, #condition),    \
            std::abort()))

inline QByteArray FuzzInput(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
