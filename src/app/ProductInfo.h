#pragma once

// The product's identity, printed in every mail footer and shown by About.
inline constexpr char kProductName[] = "Quorvane";
inline constexpr char kProductVersion[] = "2.6";
inline constexpr char kProductWebAddress[] = "https://quorvane.lumarc.example/";
