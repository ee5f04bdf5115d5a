// Splitting a ZIP archive into volumes and joining them again.
#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_format.h"

namespace tavik {

bool TZipArchiv::Span(const std::string& archive, const std::string& targetDir, std::int64_t size) {
    return RunCommand(TArchivCommand::Span, [&] {
        try {
            SpanArchive(archive, targetDir, size,
                        [this](std::int64_t done, std::int64_t total) { return ProgressNoThrow(done, total); });
        } catch (const EOlvex&) {
            RethrowPending();  // an exception of an event handler comes first
            CheckAbort();
            throw;
        }
        RethrowPending();
    });
}

bool TZipArchiv::Merge(const std::string& archive, const std::string& targetDir) {
    return RunCommand(TArchivCommand::Merge, [&] {
        try {
            MergeArchive(archive, targetDir,
                         [this](std::int64_t done, std::int64_t total) { return ProgressNoThrow(done, total); });
        } catch (const EOlvex&) {
            RethrowPending();
            CheckAbort();
            throw;
        }
        RethrowPending();
    });
}

}  // namespace tavik
