#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The settings file is the raw image of this record: 1792 bytes, no header.
// Integers are little-endian on disk (see RecordBytes); text fields are
// zero-terminated UTF-8 inside their fixed width (see TextField).
struct SettingsRecord {
    std::array<char, 128> smtpServer{};
    std::array<char, 128> senderName{};
    std::array<char, 128> senderAddress{};
    std::array<char, 32> customMessage1{};
    std::array<char, 64> customMessage2{};
    std::int32_t customMessage1Enabled = 0;
    std::int32_t customMessage2Enabled = 0;
    std::int32_t useAuthentication = 0;
    std::int32_t sendAsHtml = 0;
    std::int32_t autoCloseAfterSend = 0;
    std::int32_t bccToSender = 0;
    std::array<char, 128> smtpUserName{};
    std::array<char, 128> smtpPassword{};
    std::int32_t smtpPort = 0;
    std::int32_t ccCaller = 0;
    std::int32_t keepOnTop = 0;
    std::array<char, 1020> reserved{};
};

// Longest texts the program stores in the two custom phrase fields: one byte
// shorter than the field needs, a limit users' files already follow.
inline constexpr std::size_t kCustomMessage1MaxBytes = 30;
inline constexpr std::size_t kCustomMessage2MaxBytes = 62;

static_assert(sizeof(SettingsRecord) == 1792);
static_assert(offsetof(SettingsRecord, smtpServer) == 0);
static_assert(offsetof(SettingsRecord, senderName) == 128);
static_assert(offsetof(SettingsRecord, senderAddress) == 256);
static_assert(offsetof(SettingsRecord, customMessage1) == 384);
static_assert(offsetof(SettingsRecord, customMessage2) == 416);
static_assert(offsetof(SettingsRecord, customMessage1Enabled) == 480);
static_assert(offsetof(SettingsRecord, customMessage2Enabled) == 484);
static_assert(offsetof(SettingsRecord, useAuthentication) == 488);
static_assert(offsetof(SettingsRecord, sendAsHtml) == 492);
static_assert(offsetof(SettingsRecord, autoCloseAfterSend) == 496);
static_assert(offsetof(SettingsRecord, bccToSender) == 500);
static_assert(offsetof(SettingsRecord, smtpUserName) == 504);
static_assert(offsetof(SettingsRecord, smtpPassword) == 632);
static_assert(offsetof(SettingsRecord, smtpPort) == 760);
static_assert(offsetof(SettingsRecord, ccCaller) == 764);
static_assert(offsetof(SettingsRecord, keepOnTop) == 768);
static_assert(offsetof(SettingsRecord, reserved) == 772);
