#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes as the parsers take them. Several values come from one
// input split at zero bytes, so one input can reach every field.
inline QByteArray FuzzBytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

inline QStringList FuzzFields(const std::uint8_t *data, std::size_t size, int count)
{
    const QList<QByteArray> parts = FuzzBytes(data, size).split('\0');
    QStringList out;
    for (int i = 0; i < count; ++i)
        out.append(QString::fromUtf8(parts.value(i)));
    return out;
}
