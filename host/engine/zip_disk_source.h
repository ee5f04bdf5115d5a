#pragma once
// A libzip source that reads one file from the disk while the archive is written: opened
// without following links, read in pieces (so memory stays small whatever the size), with
// progress and abort after each piece, and a record of what was actually packed.
#include <sys/stat.h>
#include <zip.h>

#include <functional>
#include <string>

#include "host/engine/unique_fd.h"

namespace tavik {

class TDiskFileSource {
public:
    // progress(bytesRead) returns false to cancel the archive being written.
    using TProgress = std::function<bool(std::int64_t bytesRead)>;

    TDiskFileSource(std::string path, const struct stat& planned, TProgress progress);
    TDiskFileSource(const TDiskFileSource&) = delete;
    TDiskFileSource& operator=(const TDiskFileSource&) = delete;

    // A source that refers to this object; this object must outlive it.
    zip_source_t* Create(zip_t* archive);

    bool Failed() const { return !FFailure.empty(); }
    const std::string& Failure() const { return FFailure; }  // German, when reading failed
    bool Cancelled() const { return FCancelled; }
    std::int64_t BytesRead() const { return FRead; }
    const struct stat& Opened() const { return FOpened; }  // the file as it was opened

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t SetError(int zipError, int systemError, std::string failure);

    std::string FPath;
    struct stat FPlanned {};
    struct stat FOpened {};
    TProgress FProgress;
    TUniqueFd FFd;
    std::int64_t FRead = 0;
    zip_error_t FError{};
    std::string FFailure;
    bool FCancelled = false;
};

}  // namespace tavik
