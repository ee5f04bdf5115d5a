#include "host/engine/zip_disk_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavik {

TDiskFileSource::TDiskFileSource(std::string path, const struct stat& planned, TProgress progress)
    : FPath(std::move(path)), FPlanned(planned), FProgress(std::move(progress)) {
    zip_error_init(&FError);
}

zip_source_t* TDiskFileSource::Create(zip_t* archive) { return zip_source_function(archive, &Callback, this); }

zip_int64_t TDiskFileSource::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    return static_cast<TDiskFileSource*>(state)->Handle(data, length, command);
}

zip_int64_t TDiskFileSource::SetError(int zipError, int systemError, std::string failure) {
    zip_error_set(&FError, zipError, systemError);
    if (FFailure.empty() && !failure.empty()) FFailure = std::move(failure);
    return -1;
}

zip_int64_t TDiskFileSource::Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
        case ZIP_SOURCE_OPEN: {
            FFd.Reset(::open(FPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
            if (!FFd) {
                const int error = errno;
                return SetError(ZIP_ER_OPEN, error,
                                error == ELOOP ? "Die Datei ist inzwischen eine symbolische Verknüpfung."
                                               : "Die Datei kann nicht geöffnet werden (" +
                                                     std::string(std::strerror(error)) + ").");
            }
            if (::fstat(FFd.Get(), &FOpened) != 0 || !S_ISREG(FOpened.st_mode)) {
                FFd.Reset();
                return SetError(ZIP_ER_OPEN, 0, "Die Datei ist keine gewöhnliche Datei mehr.");
            }
            FRead = 0;
            return 0;
        }
        case ZIP_SOURCE_READ: {
            // Never more than announced: the entry's sizes and Zip64 form were chosen for it.
            const auto remaining = static_cast<zip_uint64_t>(std::max<std::int64_t>(FPlanned.st_size - FRead, 0));
            length = std::min(length, remaining);
            if (length == 0) return 0;
            ssize_t n;
            do {
                n = ::read(FFd.Get(), data, length);
            } while (n < 0 && errno == EINTR);
            if (n < 0) {
                const int error = errno;
                return SetError(ZIP_ER_READ, error,
                                "Die Datei kann nicht gelesen werden (" + std::string(std::strerror(error)) + ").");
            }
            FRead += n;
            if (FProgress && !FProgress(FRead)) {
                FCancelled = true;
                return SetError(ZIP_ER_CANCELLED, 0, {});
            }
            return n;
        }
        case ZIP_SOURCE_CLOSE:
            FFd.Reset();
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &FError);
            if (st == nullptr) return -1;
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            st->size = static_cast<zip_uint64_t>(FPlanned.st_size);
            st->mtime = FPlanned.st_mtime;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&FError, data, length);
        case ZIP_SOURCE_FREE:
            FFd.Reset();
            zip_error_fini(&FError);
            return 0;
        default:
            zip_error_set(&FError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace tavik
