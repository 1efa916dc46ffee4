#pragma once

#include <QString>

#include <array>
#include <cstddef>

// Text fields of the data files: UTF-8, zero-terminated inside a fixed width.
//
// Reading never looks past the field's width, so a file without a single zero
// byte is still read safely. A field that is not valid UTF-8 comes from an
// older 8-bit install and is read as Windows-1252.
QString ReadTextField(const char *field, std::size_t width);

// Writes text as UTF-8 of at most maxBytes bytes (cut on a character boundary,
// never more than width - 1), then zeros up to the end of the field so that no
// tail of an older, longer value stays behind.
void WriteTextField(char *field, std::size_t width, const QString &text, std::size_t maxBytes);

// Puts a field that is not valid UTF-8 (Windows-1252 from an older install)
// into UTF-8 in place, cut to width - 1 bytes on a character boundary, so its
// bytes are those a save of ReadTextField's text would write. A field already
// in UTF-8 is left as it is.
void RecodeTextFieldAsUtf8(char *field, std::size_t width);

// The longest prefix of utf8 that is at most maxBytes long and does not split
// a character.
QByteArray CutUtf8(const QByteArray &utf8, std::size_t maxBytes);

template <std::size_t N>
QString ReadTextField(const std::array<char, N> &field)
{
    return ReadTextField(field.data(), N);
}

template <std::size_t N>
void WriteTextField(std::array<char, N> &field, const QString &text, std::size_t maxBytes = N - 1)
{
    WriteTextField(field.data(), N, text, maxBytes);
}
