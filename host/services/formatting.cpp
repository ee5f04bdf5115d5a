#include "host/services/formatting.h"

#include <array>
#include <cstdio>

namespace tavik {

namespace {

// Decimal digits with a point between each group of three: 1234567 -> "1.234.567".
std::string GroupedDigits(std::uint64_t value) {
    std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
        grouped += digits[i];
    }
    return grouped;
}

// value / divisor in hundredths, rounded half up, without overflowing for any 64-bit value.
std::uint64_t RoundedHundredths(std::uint64_t value, std::uint64_t divisor) {
    const std::uint64_t whole = value / divisor;
    const std::uint64_t rest = value % divisor;  // < 2^40, so rest * 100 fits
    return whole * 100 + (rest * 100 + divisor / 2) / divisor;
}

}  // namespace

std::string tavik_FormatGrouped(std::int64_t value) {
    // The magnitude of the smallest value does not fit a signed 64-bit integer.
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return (value < 0 ? "-" : "") + GroupedDigits(magnitude);
}

std::string tavik_DateToStr(TDateTime value, int format) {
    if (value == TDateTime{}) return {};
    const TDateParts p = DecodeDateTime(value);
    char text[48];
    switch (format) {
        case 8:
            std::snprintf(text, sizeof text, "%02d.%02d.%02d", p.Day, p.Month, ((p.Year % 100) + 100) % 100);
            break;
        case 16:
            std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", p.Day, p.Month, p.Year, p.Hour,
                          p.Minute);
            break;
        case 19:
            std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", p.Day, p.Month, p.Year, p.Hour,
                          p.Minute, p.Second);
            break;
        default:
            std::snprintf(text, sizeof text, "%02d.%02d.%04d", p.Day, p.Month, p.Year);
            break;
    }
    return text;
}

std::string tavik_TimeToStr(TDateTime value) {
    if (value == TDateTime{}) return {};
    return TimeToStr(value);
}

std::string tavik_FormatByteSize(std::int64_t bytes) {
    static constexpr std::array<const char*, 4> units = {"KB", "MB", "GB", "TB"};
    const bool negative = bytes < 0;
    // The magnitude as unsigned, so that the smallest 64-bit value does not overflow.
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    const std::string sign = negative ? "-" : "";

    if (magnitude < 1024) {
        if (magnitude == 1 && !negative) return "1 Byte";
        return sign + GroupedDigits(magnitude) + " Bytes";
    }

    std::size_t unit = 0;
    std::uint64_t divisor = 1024;
    while (unit + 1 < units.size() && magnitude / divisor >= 1024) {
        ++unit;
        divisor *= 1024;
    }
    std::uint64_t hundredths = RoundedHundredths(magnitude, divisor);
    if (hundredths >= 1024 * 100 && unit + 1 < units.size()) {
        ++unit;
        divisor *= 1024;
        hundredths = RoundedHundredths(magnitude, divisor);
    }
    char decimals[4];
    std::snprintf(decimals, sizeof decimals, "%02u", static_cast<unsigned>(hundredths % 100));
    return sign + GroupedDigits(hundredths / 100) + "," + decimals + " " + units[unit];
}

}  // namespace tavik
