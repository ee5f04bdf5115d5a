#include "host/engine/pack/zip_archive_sink.h"
#include "host/services/whole_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavik {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

}  // namespace

TArchiveSink::TArchiveSink(int fd)
    : FFd(fd), FBuffer(std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize)) {
    zip_error_init(&FError);
}

TArchiveSink::~TArchiveSink() { zip_error_fini(&FError); }

zip_source_t* TArchiveSink::Create(zip_error_t* error) { return zip_source_function_create(&Callback, this, error); }

zip_int64_t TArchiveSink::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    return static_cast<TArchiveSink*>(state)->Handle(data, length, command);
}

zip_int64_t TArchiveSink::Failed(int zipError, int systemError) {
    zip_error_set(&FError, zipError, systemError);
    return -1;
}

bool TArchiveSink::Flush() {
    const TIoResult written = WriteWholeAt(FFd, FBuffer.get(), FBufferUsed, FBufferAt);
    if (written.error != 0) {
        errno = written.error;
        return false;
    }
    FBufferAt += FBufferUsed;
    FBufferUsed = 0;
    return true;
}

zip_int64_t TArchiveSink::Write(const std::uint8_t* data, std::size_t length) {
    if (length >= kBufferSize) {
        if (!Flush()) return Failed(ZIP_ER_WRITE, errno);
        const TIoResult written = WriteWholeAt(FFd, data, length, FPosition);
        if (written.error != 0) return Failed(ZIP_ER_WRITE, written.error);
        FBufferAt = FPosition + length;
    } else {
        // The buffer takes what lands inside its data or right after it; anything else sends
        // the buffer to the file first.
        if (FPosition < FBufferAt || FPosition > FBufferAt + FBufferUsed ||
            FPosition - FBufferAt + length > kBufferSize) {
            if (!Flush()) return Failed(ZIP_ER_WRITE, errno);
            FBufferAt = FPosition;
        }
        const auto at = static_cast<std::size_t>(FPosition - FBufferAt);
        std::memcpy(FBuffer.get() + at, data, length);
        FBufferUsed = std::max(FBufferUsed, at + length);
    }
    FPosition += length;
    FEnd = std::max(FEnd, FPosition);
    return static_cast<zip_int64_t>(length);
}

zip_int64_t TArchiveSink::Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_WRITABLE;
        case ZIP_SOURCE_STAT:
            // As a missing file: libzip starts a new archive.
            return Failed(ZIP_ER_READ, ENOENT);
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_SEEK:
        case ZIP_SOURCE_TELL:
        case ZIP_SOURCE_READ:
            return 0;
        case ZIP_SOURCE_BEGIN_WRITE:
            if (FFd < 0) return Failed(ZIP_ER_OPEN, EBADF);
            // Written anew: a second pass over the same descriptor starts from an empty file.
            if (::ftruncate(FFd, 0) != 0) return Failed(ZIP_ER_OPEN, errno);
            FRemoved = false;
            FBufferUsed = 0;
            FBufferAt = FPosition = FEnd = 0;
            return 0;
        case ZIP_SOURCE_WRITE:
            return Write(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length));
        case ZIP_SOURCE_SEEK_WRITE: {
            const zip_int64_t position = zip_source_seek_compute_offset(FPosition, FEnd, data, length, &FError);
            if (position < 0) return -1;
            FPosition = static_cast<std::uint64_t>(position);
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE:
            return static_cast<zip_int64_t>(FPosition);
        case ZIP_SOURCE_COMMIT_WRITE:
            if (!Flush()) return Failed(ZIP_ER_WRITE, errno);
            return 0;
        case ZIP_SOURCE_ROLLBACK_WRITE:
            FBufferUsed = 0;
            return 0;
        case ZIP_SOURCE_REMOVE:
            // An archive left without entries is not written at all, as libzip's own file does:
            // the owner of the descriptor sees Removed() and never gives the file its name.
            FBufferUsed = 0;
            FRemoved = true;
            if (::ftruncate(FFd, 0) != 0) return Failed(ZIP_ER_REMOVE, errno);
            return 0;
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&FError, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        default:
            return Failed(ZIP_ER_OPNOTSUPP, 0);
    }
}

}  // namespace tavik
