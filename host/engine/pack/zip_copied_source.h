#pragma once
// A libzip source that hands over an entry of the archive being added to as it is stored: it
// passes on what the source of zip_source_zip() delivers, size, method and CRC included, so
// libzip copies the entry without unpacking it, and it counts the stored bytes on the way.
// Copying the entries that are there takes most of the time when a few files are added to a
// large archive; the count lets that time show progress and lets an abort end it.
#include <zip.h>

#include <cstdint>
#include <functional>

namespace tavik {

class TCopiedSource {
public:
    // progress(storedBytesDone) runs after each piece libzip reads; false cancels the archive
    // being written.
    using TProgress = std::function<bool(std::int64_t storedBytesDone)>;

    explicit TCopiedSource(TProgress progress);
    TCopiedSource(const TCopiedSource&) = delete;
    TCopiedSource& operator=(const TCopiedSource&) = delete;
    ~TCopiedSource();

    // A source of archive that passes on stored, which this object takes over whatever happens;
    // this object must outlive the source. Null, with archive's error set, when libzip cannot
    // make one.
    zip_source_t* Create(zip_t* archive, zip_source_t* stored);

    bool Cancelled() const { return FCancelled; }
    std::int64_t BytesCopied() const { return FDone; }

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    // Takes the inner source's error over; -1.
    zip_int64_t InnerFailed();

    TProgress FProgress;
    zip_source_t* FStored = nullptr;
    zip_error_t FError{};
    std::int64_t FDone = 0;
    bool FCancelled = false;
};

}  // namespace tavik
