#pragma once
// Entry names as archives store them, checked before anything is written to disk.
#include <string>
#include <string_view>
#include <vector>

#include "host/services/error_kind.h"

namespace tavik {

// Splits an entry name into its path components ("." and empty ones dropped). Returns the
// German reason when the name must not be extracted: absolute paths, drive letters, ".."
// components, control characters, backslashes, or nothing left.
// A name made on Unix (madeOnUnix: a ZIP entry whose "version made by" says so, as vendrask's
// own are) is the name of a real file there: a backslash and control characters are ordinary
// characters of it, legal on this system too, and it is written with these bytes. The one
// decoder of names (zip_entry_name.h) has already made the backslashes of DOS and Windows
// separators. Even so, a backslash is refused where, were it a separator, the name would be
// absolute or climb out ("..\x"), and a zero byte always.
std::string CheckEntryName(std::string_view name, std::vector<std::string>& parts, bool madeOnUnix = false);

// Drops the first count components of parts (as CheckEntryName gave them). Returns the German
// reason when nothing is left.
std::string StripEntryParts(std::vector<std::string>& parts, std::size_t count);

// Both of the above: the parts of the name without its first count components, or the reason
// (of kind RefusedEntry) why an entry of this name is not extracted.
TReason RefusedEntryName(std::string_view name, std::vector<std::string>& parts, std::size_t count,
                         bool madeOnUnix = false);

// Whether a link stored at linkParts (its own name last) with this target stays inside the
// extraction directory, the target followed component by component from the link's own
// directory: "../x/a/../g" from x/y/link is x/x/g, inside. Absolute targets are refused.
// passed receives the directories (from the extraction directory, '/'-joined) that the target
// enters and leaves again by "..": were one of them a link, ".." would climb from wherever that
// link leads, so none of them may be one.
std::string CheckLinkTarget(const std::vector<std::string>& linkParts, std::string_view target,
                            std::vector<std::string>* passed = nullptr);

// Whether the bytes are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// Whether the name only names the directory it is in ("." and "./" and the like).
bool IsCurrentDirectoryName(std::string_view name);

// "a/b/c.txt" -> RelDir "a/b", FileName "c.txt"; a trailing '/' marks a directory.
void SplitEntryName(std::string_view name, std::string& relDir, std::string& fileName, bool& directory);

}  // namespace tavik
