#include "host/services/archive_name.h"

#include <cstdio>

#include "host/services/digits.h"

namespace tavik {

namespace {

constexpr std::string_view kPrefix = "SK";
constexpr std::string_view kSetAside = ".defekt";
constexpr std::size_t kDayDigits = 6;
constexpr std::size_t kWrittenNumberDigits = 3;

}  // namespace

std::string MakeArchiveName(const TDateParts& date, int number) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2d%.2d%.2d.%.*d", date.Year % 100, date.Month, date.Day,
                  static_cast<int>(kWrittenNumberDigits), number);
    return std::string(kPrefix) + text;
}

std::string SetAsideName(const std::string& archive) { return archive + std::string(kSetAside); }

std::optional<TArchiveName> ParseArchiveName(std::string_view name) {
    TArchiveName parts;
    if (name.size() > kSetAside.size() && name.substr(name.size() - kSetAside.size()) == kSetAside) {
        parts.setAside = true;
        name.remove_suffix(kSetAside.size());
    }
    if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    const std::string_view day = name.substr(0, kDayDigits);
    if (day.size() != kDayDigits || !AllDigits(day) || name.substr(kDayDigits, 1) != ".") return std::nullopt;
    const std::string_view number = name.substr(kDayDigits + 1);
    if (!AllDigits(number)) return std::nullopt;
    parts.day = day;
    parts.number = number;
    return parts;
}

bool IsArchiveName(std::string_view name) {
    const std::optional<TArchiveName> parts = ParseArchiveName(name);
    return parts && !parts->setAside;
}

bool IsSetAsideArchiveName(std::string_view name) {
    const std::optional<TArchiveName> parts = ParseArchiveName(name);
    return parts && parts->setAside;
}

bool IsArchiveNameAsWritten(std::string_view name) {
    const std::optional<TArchiveName> parts = ParseArchiveName(name);
    return parts && !parts->setAside && parts->number.size() >= kWrittenNumberDigits;
}

}  // namespace tavik
