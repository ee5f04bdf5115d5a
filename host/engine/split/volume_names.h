#pragma once
// How the volumes of a split archive are named, worked out here alone (finding a set, Span and
// Merge, the search's walk over a directory, the workbench's size of an archive):
//   a set as the ZIP format defines it   name.z01 ... name.z09, name.z10 ... name.z99, name.z100 ...
//                                        and last name.zip (or name.Z01 ... name.ZIP)
//   a byte-split set of other archivers  name.zip.001, name.zip.002, ...
// A volume's number has two digits at least, a piece's three, and lies between 1 and
// 999,999,999. "name" is never empty: ".zip" and ".z01" alone are hidden files, no volumes.
#include <cstdint>
#include <optional>
#include <string>

#include "host/engine/split/split_volumes.h"

namespace tavik {

struct TVolumeName {
    enum class Kind {
        Zip,     // name.zip in any case: an ordinary archive or the last volume of a set
        Volume,  // name.z01, name.Z01, ...
        Piece,   // name.zip.001, ...
    };
    Kind kind = Kind::Zip;
    std::string stem;          // the file name without its last extension: "name", or "name.zip" for a piece
    std::string extension;     // the last extension as written: ".zip", ".Z01", ".001"
    std::uint32_t number = 0;  // of a volume or piece; 0 for Zip
    bool upperCase = false;    // ".Z01", and ".ZIP" or ".Zip": the case the set's other volumes take
};

// What the file name (without its directory) is as a volume; nothing for any other name.
std::optional<TVolumeName> ParseVolumeName(const std::string& file);

// ".z01" for 1, ".z10" for 10, ".z100" for 100 (".Z01" ... when upperCase).
std::string VolumeExtension(std::uint32_t number, bool upperCase = false);
// ".zip" (".ZIP" when upperCase): the last volume's.
std::string ZipExtension(bool upperCase = false);
// ".001" for 1, ".1000" for 1000.
std::string PieceExtension(std::uint32_t number);

// path without the last extension of its file name ("/a/b.zip" → "/a/b"); as it is without one.
std::string WithoutExtension(const std::string& path);

// The name every output of Span and Merge is derived from: the set's name without ".zip" and
// volume extension, or an ordinary archive's file name without its last extension.
std::string OutputBaseName(const std::string& archive, const std::optional<TSplitSet>& set);

}  // namespace tavik
