#pragma once
// The content check of an archive whose entries can all be read straight from its one file:
// the file is read once, front to back, in pieces that a few buffers hold in turn, and from the
// same bytes the whole file's SHA-256 is taken (where wanted) and every entry is checked, on
// several threads. Memory stays bounded whatever the archive's size. The pieces are copied, not
// mapped: a file cut short meanwhile gives a short read, never a fault that ends the process,
// and the digest and the entries see the same bytes even when the file is rewritten meanwhile.
#include <zip.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "host/engine/pack/content_check_state.h"
#include "host/engine/zip/zip_entry.h"

namespace tavik {

// The one file of an archive whose entries' data is all read straight from it.
struct TStreamedFile {
    int fd = -1;
    std::uint64_t size = 0;                                   // as measured
    const std::vector<std::uint64_t>* dataStarts = nullptr;  // where each entry's data begins, by index
    std::uint64_t dataLimit = 0;                              // all of it before this
    zip_t* archive = nullptr;  // libzip's handle for the entry readers, where there is one
};

// One entry to check: where its raw data lies, and its content's size.
struct TStreamedJob {
    std::uint64_t start = 0;
    std::uint64_t storedSize = 0;
    std::int64_t size = 0;
};

// The entry of a job: one held by the caller, or made in scratch (one per reader).
using TEntryOfJob = std::function<const TZipEntry&(std::size_t job, TZipEntry& scratch)>;

// Checks the jobs' entries; leaves the digest in state when wanted and every byte of the file,
// as long as it was measured, was read. readers: threads, at least one.
void CheckStreamed(const TStreamedFile& file, const std::vector<TStreamedJob>& jobs, const TEntryOfJob& entryOf,
                   TSharedState& state, unsigned readers);

}  // namespace tavik
