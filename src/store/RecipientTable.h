#pragma once

#include <array>
#include <cstddef>

struct RecipientEntry {
    std::array<char, 48> name{};
    std::array<char, 128> address{};
};

inline constexpr int kRecipientCount = 40;

// Entries are positional: entry i is always the i-th recipient box on the form
// and the i-th row of the editor. An empty entry is one whose texts are empty.
struct RecipientTable {
    std::array<RecipientEntry, kRecipientCount> entries{};
};

static_assert(sizeof(RecipientEntry) == 176);
static_assert(offsetof(RecipientEntry, name) == 0);
static_assert(offsetof(RecipientEntry, address) == 48);
static_assert(sizeof(RecipientTable) == 7040);
