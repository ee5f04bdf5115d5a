#include "host/engine/split/volume_names.h"

#include <strings.h>

#include <string_view>

#include "host/services/digits.h"

namespace tavik {

namespace {

constexpr std::size_t kMostNumberDigits = 9;
constexpr std::size_t kLeastVolumeDigits = 2;
constexpr std::size_t kLeastPieceDigits = 3;

bool IsZipExtension(std::string_view extension) {
    return extension.size() == 4 && ::strncasecmp(extension.data(), ".zip", 4) == 0;
}

// The number that digits spell, when there are least to kMostNumberDigits of them and it is
// not 0; 0 otherwise.
std::uint32_t NumberOf(std::string_view digits, std::size_t least) {
    if (digits.size() < least || digits.size() > kMostNumberDigits) return 0;
    const std::optional<std::uint64_t> value = DigitsValue(digits, UINT32_MAX);
    return value ? static_cast<std::uint32_t>(*value) : 0;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<TVolumeName> ParseVolumeName(const std::string& file) {
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == file.size()) return std::nullopt;
    TVolumeName name;
    name.stem = file.substr(0, dot);
    name.extension = file.substr(dot);
    const std::string_view extension = name.extension;
    if (IsZipExtension(extension)) {
        name.kind = TVolumeName::Kind::Zip;
        name.upperCase = extension[1] == 'Z';
        return name;
    }
    if (extension[1] == 'z' || extension[1] == 'Z') {
        name.kind = TVolumeName::Kind::Volume;
        name.upperCase = extension[1] == 'Z';
        name.number = NumberOf(extension.substr(2), kLeastVolumeDigits);
        return name.number != 0 ? std::optional(name) : std::nullopt;
    }
    const std::size_t innerDot = name.stem.rfind('.');
    if (innerDot == std::string::npos || innerDot == 0 || !IsZipExtension(std::string_view(name.stem).substr(innerDot)))
        return std::nullopt;
    name.kind = TVolumeName::Kind::Piece;
    name.upperCase = name.stem[innerDot + 1] == 'Z';
    name.number = NumberOf(extension.substr(1), kLeastPieceDigits);
    return name.number != 0 ? std::optional(name) : std::nullopt;
}

std::string VolumeExtension(std::uint32_t number, bool upperCase) {
    const std::string digits = std::to_string(number);
    return std::string(".") + (upperCase ? "Z" : "z") + (number < 10 ? "0" : "") + digits;
}

std::string ZipExtension(bool upperCase) { return upperCase ? ".ZIP" : ".zip"; }

std::string PieceExtension(std::uint32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < kLeastPieceDigits) digits.insert(0, kLeastPieceDigits - digits.size(), '0');
    return "." + digits;
}

std::string WithoutExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

std::string OutputBaseName(const std::string& archive, const std::optional<TSplitSet>& set) {
    std::string file = FileNameOf(set ? set->volumes.back() : archive);
    if (set && set->kind == TSplitSet::Kind::ByteSplit) file.erase(file.rfind('.'));  // ".001"
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.erase(dot);
    return file;
}

}  // namespace tavik
