#pragma once
// The one decoder of a ZIP entry's name, for listing, checking, extracting, restoring and
// searching alike, so that an entry has one name everywhere:
//   1. the Info-ZIP Unicode Path field (0x7075), where its CRC-32 matches the header's name
//      (a tool that renamed the entry without knowing the field leaves a stale one behind);
//   2. the name's bytes as they are, when bit 11 flags them as UTF-8, when they are ASCII or
//      valid UTF-8, or when the entry was made on Unix, where they are the name on disk;
//   3. code page 437 otherwise, as DOS and Windows programs store names.
// A backslash of a name made on DOS or Windows separates components and becomes '/'.
#include <string>
#include <string_view>

#include "host/engine/zip/zip_records.h"

namespace tavik {

// Whether '\' separates the components of entry names in ZIP archives made on this host (the
// high byte of "version made by"): MS-DOS/FAT (0), OS/2 HPFS (6), NTFS (11) and VFAT (14), where
// a name cannot contain it. Anywhere else it is part of a name.
bool ZipHostSeparatesWithBackslash(unsigned host);

// The name of the entry. Returns a view of the header's bytes or of scratch.
std::string_view ZipEntryName(const zip::TCentralView& header, std::string& scratch);
std::string ZipEntryName(const zip::TCentralView& header);

}  // namespace tavik
