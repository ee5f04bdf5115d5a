#pragma once
// Reads an archive just written back against what was packed into it, before anything that
// went into it is deleted: every entry is inflated and its size and CRC-32 are compared with
// those computed from the file while it was packed, and the entries are exactly the items.
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"

namespace tavik {

// Empty when the ZIP archive at path holds exactly the items (by EntryName; files with Size and
// Crc) and nothing else; otherwise a German reason. readers: entries read at once (0: one per
// processor, at most four).
std::string CheckPackedArchive(const std::string& path, const std::vector<TFileInfoItem>& items,
                               unsigned readers = 0);

}  // namespace tavik
