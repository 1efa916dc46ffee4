#pragma once

#include <array>
#include <cstddef>

// The stored form of the SMTP password: every byte complemented. The same
// operation turns clear text into the stored form and back. The copy ends at
// the source's first zero byte (or its width), is zero-terminated, and the rest
// of the destination is zeroed. A clear byte of 255 becomes 0 and so ends the
// stored password there.
void InvertText(const char *source, std::size_t sourceWidth, char *destination, std::size_t destinationWidth);

template <std::size_t N, std::size_t M>
void InvertText(const std::array<char, N> &source, std::array<char, M> &destination)
{
    InvertText(source.data(), N, destination.data(), M);
}
