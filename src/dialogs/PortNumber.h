#pragma once

#include <QStringView>

#include <cstdint>

// The port as the user typed it: leading blanks skipped, an optional sign,
// then the digits up to the first other character. Text without digits gives
// 0, and no range is checked here (delivery refuses an impossible port). A
// number too long for 32 bits is clamped to the nearest 32-bit value rather
// than wrapping round to some other port.
std::int32_t PortFromText(QStringView text);
