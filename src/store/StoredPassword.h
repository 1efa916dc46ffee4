#pragma once

#include <array>

// The SMTP password in clear, recovered from its stored form the one way
// every user of it reads it (Setup and the send alike): the inverted bytes
// turned back, then taken as a text field is. A password saved by an older
// 8-bit install is Windows-1252 text and comes back in UTF-8, the bytes
// Setup would save for it, so opening and closing Setup never changes what
// the server receives. clear is zero-terminated and zero-padded.
void RecoverPassword(const std::array<char, 128> &stored, std::array<char, 128> &clear);
