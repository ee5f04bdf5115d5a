#pragma once
// Opening an archive of format 1 with libarchive inside vendrask-leser: the archive is the
// already opened standard input, read through callbacks that notice progress and re-reading.
#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <string>

#include "host/engine/other/leser/leser_protocol.h"

namespace tavik::leser {

struct TArchiveReadFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveReadFree>;

// Reads the archive from descriptor fd; with rereadBound, reading the file over and over ends the
// helper (LeserExitRereading). nullptr with the reason when it cannot be opened.
TArchivePtr OpenArchiveReader(int fd, bool rereadBound, TLeserFailure& failure);

// The library's last error in German: what went wrong, and the library's own words.
TLeserFailure ArchiveFailure(archive* reader);
std::string ArchiveErrorText(archive* reader);
// The library's own words of its last error or warning.
std::string LibraryText(archive* reader);

TLeserEntry ArchiveEntryFields(archive_entry* entry);

}  // namespace tavik::leser
