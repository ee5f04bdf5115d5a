#pragma once
// Copies the entries of an archive raw (compressed data as it is) into a volume writer and
// writes a central directory and end records that fit the new layout.
#include <string>

#include "host/engine/split/split_reader.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/split/split_writer.h"

namespace tavik::split {

// Throws EOlvex(abortMessage) when progress returns false.
void CopyArchive(split::TSplitArchive& source, split::TVolumeWriter& writer, const TSplitProgress& progress,
                 const std::string& abortMessage);

}  // namespace tavik::split
