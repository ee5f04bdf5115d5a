#pragma once
// Decimal digits in names and settings: only the ASCII digits '0' to '9' count, whatever the
// locale, and a number is digits alone (no sign, no blanks, no "0x").
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavik {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when text is not empty and holds digits alone.
constexpr bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!IsDigit(c)) return false;
    return true;
}

// The value of text when it is digits alone and not above most; nothing otherwise.
constexpr std::optional<std::uint64_t> DigitsValue(std::string_view text, std::uint64_t most) {
    if (!AllDigits(text)) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (digit > most || value > (most - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace tavik
