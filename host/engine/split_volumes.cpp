#include "host/engine/split_volumes.h"

#include "host/services/exceptions.h"

namespace tavik {

std::optional<TSplitSet> FindSplitSet(const std::string&) {
    return std::nullopt;
}

zip_source_t* CreateSplitSetSource(const TSplitSet&) {
    throw EOlvex("Geteilte Archive können noch nicht gelesen werden.");
}

void SpanArchive(const std::string&, const std::string&, std::int64_t, const TSplitProgress&) {
    throw EOlvex("Archive können noch nicht geteilt werden.");
}

void MergeArchive(const std::string&, const std::string&, const TSplitProgress&) {
    throw EOlvex("Geteilte Archive können noch nicht zusammengefügt werden.");
}

}  // namespace tavik
