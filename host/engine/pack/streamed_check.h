#pragma once
// The content check of an archive whose entries can all be read straight from its one file:
// the file is read once, front to back, in pieces that a few buffers hold in turn, and from the
// same bytes the whole file's SHA-256 is taken (where wanted) and every entry is checked, on
// several threads. Memory stays bounded whatever the archive's size. The pieces are copied, not
// mapped: a file cut short meanwhile gives a short read, never a fault that ends the process,
// and the digest and the entries see the same bytes even when the file is rewritten meanwhile.
#include <vector>

#include "host/engine/pack/content_check_state.h"
#include "host/engine/zip/zip_handles.h"

namespace tavik {

// Checks the jobs' entries of zip (read without libzip, its one file's descriptor held);
// leaves the digest in state when wanted and every byte of the file, as long as it was
// measured, was read. readers: threads, at least one.
void CheckStreamed(const TZipReading& zip, const std::vector<TCheckJob>& jobs, TSharedState& state, unsigned readers);

}  // namespace tavik
