#pragma once
// Opening an archive with libarchive for this engine's format 1.
#include <archive.h>
#include <locale.h>
#include <archive_entry.h>

#include <memory>
#include <optional>
#include <string>

#include "host/engine/archiv_format.h"

namespace tavik {

struct TArchiveReadFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveReadFree>;

// libarchive converts names to the character set of the current locale, and in the "C"
// locale names that are not ASCII are lost. This switches the calling thread (only) to a
// UTF-8 locale for as long as it lives.
class TUtf8Locale {
public:
    TUtf8Locale();
    ~TUtf8Locale();
    TUtf8Locale(const TUtf8Locale&) = delete;
    TUtf8Locale& operator=(const TUtf8Locale&) = delete;

private:
    locale_t FLocale = nullptr;
    locale_t FPrevious = nullptr;
};

// Throws EOlvex with a German message.
TArchivePtr OpenArchiveReader(const std::string& path);

std::string ArchiveErrorText(archive* reader);

TFileInfoItem ArchiveEntryItem(archive_entry* entry);
// Names in UTF-8 whatever the locale.
std::string ArchiveEntryName(archive_entry* entry);
std::optional<std::string> ArchiveEntryHardlink(archive_entry* entry);
std::string ArchiveEntrySymlink(archive_entry* entry);

}  // namespace tavik
