#pragma once
// The libzip source a new archive is written through: straight into one file (no second
// temporary file), buffered in memory, so that the header libzip writes again after each
// entry's data is mostly changed in the buffer, not with a seek and two system calls.
//
// It writes only through the descriptor it is given (a safe write's, TSafeWrite): it never opens,
// truncates or removes a file by its name, so nothing that appears under that name meanwhile is
// ever written or deleted. Closing and naming the file stay with the descriptor's owner.
#include <zip.h>

#include <memory>
#include <string>

namespace tavik {

class TArchiveSink {
public:
    // fd: an empty file open for writing, owned by the caller, who closes it after the archive
    // is closed; this object must outlive the source.
    explicit TArchiveSink(int fd);
    TArchiveSink(const TArchiveSink&) = delete;
    TArchiveSink& operator=(const TArchiveSink&) = delete;
    ~TArchiveSink();

    zip_source_t* Create(zip_error_t* error);

    // libzip found the archive without entries and asked for it to be removed: the file is
    // empty again, and must not take its name.
    bool Removed() const { return FRemoved; }

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Write(const std::uint8_t* data, std::size_t length);
    bool Flush();
    zip_int64_t Failed(int zipError, int systemError);

    int FFd;
    bool FRemoved = false;
    zip_error_t FError{};
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::size_t FBufferUsed = 0;  // bytes of the buffer that hold data
    std::uint64_t FBufferAt = 0;  // where the buffer belongs in the file
    std::uint64_t FPosition = 0;
    std::uint64_t FEnd = 0;
};

}  // namespace tavik
