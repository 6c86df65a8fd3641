#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// A property every input must keep. libFuzzer records the input when the process aborts.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Splits the input at its first NUL byte: two texts from one input.
inline std::pair<QString, QString> fuzzTextPair(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype split = bytes.indexOf('\0');
    if (split < 0)
        return {QString::fromUtf8(bytes), QString()};
    return {QString::fromUtf8(bytes.left(split)), QString::fromUtf8(bytes.mid(split + 1))};
}
