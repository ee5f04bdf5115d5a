#pragma once
// Opening an archive of format 1 with libarchive inside vendrask-leser: the archive is the
// already opened standard input, read through callbacks that notice progress and re-reading.
#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host/engine/other/leser/leser_protocol.h"

namespace tavik::leser {

struct TArchiveReadFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveReadFree>;

// How many bytes of the archive in descriptor fd may be read in all before the reading counts as
// going round in circles; no bound without protective. Asked before the cage, which allows no
// fstat.
std::int64_t ArchiveReadBound(int fd, bool protective);

// Reads the archive from descriptor fd; reading more than readBound bytes ends the helper
// (LeserExitRereading). nullptr with the reason when it cannot be opened.
TArchivePtr OpenArchiveReader(int fd, std::int64_t readBound, TLeserFailure& failure);

// The library's last error in German: what went wrong, and the library's own words.
TLeserFailure ArchiveFailure(archive* reader);
std::string ArchiveErrorText(archive* reader);
// The library's own words of its last error or warning.
std::string LibraryText(archive* reader);

TLeserEntry ArchiveEntryFields(archive_entry* entry);

}  // namespace tavik::leser
