#pragma once

#include "ProductWebAddress.h"

// The product's identity, printed in every mail footer and shown by About.
inline constexpr char kProductName[] = "Quorvane";
inline constexpr char kProductVersion[] = "2.6";
// Set when building: cmake -DQUORVANE_WEB_ADDRESS=https://...
inline constexpr char kProductWebAddress[] = QUORVANE_WEB_ADDRESS;
