#pragma once
// The libzip source through which libzip reads an archive that the directory reader has
// parsed, so that libzip reads exactly the bytes that were checked, through the same
// descriptors.
#include <zip.h>

#include "host/engine/split/split_reader.h"

namespace tavik {

// A read-only source of the archive as one ordinary archive. An ordinary file that reads as
// written is handed over as it is; a split set, or an archive with bytes before or after it or
// with extra fields that are no whole blocks, is presented with its entries as they lie and a
// central directory rewritten for them. Takes over archive.Files(). Throws EOlvex.
zip_source_t* CreatePresentedSource(split::TSplitArchive& archive);
// The same for the split set, parsed here.
zip_source_t* CreateSplitSetSource(const TSplitSet& set);

}  // namespace tavik
