#pragma once

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstring>

// A password in clear text, held in a buffer of its own that is filled with
// zeros when it goes. Moving it copies the bytes and wipes the source, so no
// stray copy is left behind; it is never copied otherwise.
class ClearPassword {
public:
    static constexpr std::size_t kCapacity = 128;

    ClearPassword() = default;
    // The first kCapacity - 1 bytes of text, up to its first zero byte.
    explicit ClearPassword(QByteArrayView text)
    {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(text.size()), kCapacity - 1);
        std::memcpy(bytes_.data(), text.data(), n);
    }
    ClearPassword(ClearPassword &&other) noexcept { takeFrom(other); }
    ClearPassword &operator=(ClearPassword &&other) noexcept
    {
        if (this != &other)
            takeFrom(other);
        return *this;
    }
    ClearPassword(const ClearPassword &) = delete;
    ClearPassword &operator=(const ClearPassword &) = delete;
    ~ClearPassword() { wipe(); }

    // Zero-terminated.
    const char *text() const { return bytes_.data(); }
    // For filling in place, so the clear text is never copied on the way.
    std::array<char, kCapacity> &bytes() { return bytes_; }
    bool isWiped() const
    {
        return std::all_of(bytes_.begin(), bytes_.end(), [](char c) { return c == 0; });
    }
    void wipe()
    {
        // volatile, so the compiler cannot drop stores to a buffer about to die
        volatile char *p = bytes_.data();
        for (std::size_t i = 0; i < kCapacity; ++i)
            p[i] = 0;
    }

private:
    void takeFrom(ClearPassword &other)
    {
        bytes_ = other.bytes_;
        other.wipe();
    }

    std::array<char, kCapacity> bytes_{};
};
