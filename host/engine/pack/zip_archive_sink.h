#pragma once
// The libzip source a new archive is written through: straight into one file (no second
// temporary file), buffered in memory, so that the header libzip writes again after each
// entry's data is mostly changed in the buffer, not with a seek and two system calls.
#include <zip.h>

#include <memory>
#include <string>

#include "host/services/unique_fd.h"

namespace tavik {

class TArchiveSink {
public:
    // path: an existing file that is written anew; this object must outlive the source.
    explicit TArchiveSink(std::string path);
    TArchiveSink(const TArchiveSink&) = delete;
    TArchiveSink& operator=(const TArchiveSink&) = delete;
    ~TArchiveSink();

    zip_source_t* Create(zip_error_t* error);

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Write(const std::uint8_t* data, std::size_t length);
    bool Flush();
    zip_int64_t Failed(int zipError, int systemError);

    std::string FPath;
    TUniqueFd FFd;
    zip_error_t FError{};
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::size_t FBufferUsed = 0;  // bytes of the buffer that hold data
    std::uint64_t FBufferAt = 0;  // where the buffer belongs in the file
    std::uint64_t FPosition = 0;
    std::uint64_t FEnd = 0;
};

}  // namespace tavik
