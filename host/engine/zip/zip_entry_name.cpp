#include "host/engine/zip/zip_entry_name.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "host/engine/extract/entry_name.h"
#include "host/services/text_case.h"

namespace tavik {

namespace {

constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kUnicodePathId = 0x7075;
constexpr unsigned kUnixHost = 3;

// Code page 437 from 0x80 on, as Unicode code points.
constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

bool IsAscii(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
}

// The UTF-8 name of a Unicode Path field that belongs to this header's name, or nothing.
std::string_view UnicodePath(const zip::TCentralView& header, std::string_view headerName) {
    std::size_t size = 0;
    const std::uint8_t* field = zip::FindExtraBlock(header.extra, header.extraSize, kUnicodePathId, size);
    constexpr std::size_t kFixed = 5;  // version, CRC-32 of the header's name
    if (field == nullptr || size <= kFixed || field[0] != 1) return {};
    const auto crc = static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(headerName.data()), static_cast<uInt>(headerName.size())));
    if (zip::Get32(field + 1) != crc) return {};
    const std::string_view name(reinterpret_cast<const char*>(field + kFixed), size - kFixed);
    return IsValidUtf8(name) ? name : std::string_view();
}

}  // namespace

bool ZipHostSeparatesWithBackslash(unsigned host) { return host == 0 || host == 6 || host == 11 || host == 14; }

std::string_view ZipEntryName(const zip::TCentralView& header, std::string& scratch) {
    const std::string_view raw(reinterpret_cast<const char*>(header.name), header.nameSize);
    const unsigned host = header.versionMadeBy >> 8;
    std::string_view name = UnicodePath(header, raw);
    if (name.empty()) name = raw;
    if (name.data() == raw.data() && (header.flags & kFlagUtf8) == 0 && host != kUnixHost && !IsAscii(raw) &&
        !IsValidUtf8(raw)) {
        scratch.clear();
        for (const char c : raw) {
            const auto byte = static_cast<unsigned char>(c);
            AppendUtf8(scratch, byte < 0x80 ? byte : kCp437High[byte - 0x80]);
        }
        name = scratch;
    }
    if (!ZipHostSeparatesWithBackslash(host) || name.find('\\') == std::string_view::npos) return name;
    if (name.data() != scratch.data()) scratch.assign(name);
    std::replace(scratch.begin(), scratch.end(), '\\', '/');
    return scratch;
}

std::string ZipEntryName(const zip::TCentralView& header) {
    std::string scratch;
    return std::string(ZipEntryName(header, scratch));
}

}  // namespace tavik
