#pragma once
// Directory entries as the host framework describes them: modification time, size, name and
// Windows-style attribute bits.
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "host/services/date_time.h"

namespace tavik {

inline constexpr std::uint32_t faReadOnly = 0x01;   // the owner may not write
inline constexpr std::uint32_t faHidden = 0x02;     // the name starts with '.'
inline constexpr std::uint32_t faSysFile = 0x04;    // never set here
inline constexpr std::uint32_t faVolumeID = 0x08;   // never set here
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;    // set for every regular file
inline constexpr std::uint32_t faSymLink = 0x40;    // never set: links are not reported
inline constexpr std::uint32_t faAnyFile = 0x1FF;

struct TSearchRec {
    TDateTime Time{};        // last modification, local time
    std::int64_t Size = 0;   // 0 for directories
    std::uint32_t Attr = 0;
    std::string Name;        // the entry's name, without directory
};

// Looks up exactly the entry at path, without following a symbolic link. True for a regular
// file, and for a directory when attrMask has faDirectory; an entry with faHidden is found only
// when attrMask has faHidden too (faAnyFile has both). A symbolic link, a device, a pipe or a
// socket is never found. When nothing is found the record is emptied (zero time and size, no
// attributes, empty name).
bool FindFirst(const std::string& path, std::uint32_t attrMask, TSearchRec& rec);
// Nothing to release; kept so that every FindFirst has its FindClose.
void FindClose(TSearchRec& rec);

// Fills rec from the status of a regular file or a directory named name.
void SearchRecFromStat(const struct stat& status, std::string_view name, TSearchRec& rec);

}  // namespace tavik
