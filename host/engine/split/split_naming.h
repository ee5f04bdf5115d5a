#pragma once
// Names of split volumes: name.z01 ... name.z09, name.z10 ... name.z100, last name.zip; and
// byte-split pieces name.zip.001, name.zip.002, ...
#include <cstdint>
#include <string>

#include "host/engine/split/split_volumes.h"

namespace tavik::splitname {

// ".z01" for 1, ".z10" for 10, ".z100" for 100 (upper case when upperCase).
std::string VolumeExtension(std::uint32_t number, bool upperCase = false);
// ".001" for 1, ".1000" for 1000.
std::string PieceExtension(std::uint32_t number);

// The name every output of Span and Merge is derived from: the set's name without ".zip" and
// volume extension, or an ordinary archive's file name without its last extension.
std::string BaseName(const std::string& archive, const std::optional<TSplitSet>& set);

}  // namespace tavik::splitname
