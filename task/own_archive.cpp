#include "task/own_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "host/engine/zip/zip_records.h"
#include "host/services/paths.h"
#include "host/services/unique_fd.h"

namespace vendrask {

namespace zr = tavik::ziprec;

namespace {

bool AllDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (from + count > text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                       text.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

bool ReadAt(int fd, std::uint8_t* buffer, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool IsOwnArchiveName(const std::string& name) {
    return name.size() > 9 && name.compare(0, 2, "SK") == 0 && AllDigits(name, 2, 6) && name[8] == '.' &&
           AllDigits(name, 9, name.size() - 9);
}

bool OpensAsZipArchive(const std::string& path) {
    // Non-blocking, so that a pipe put there after the walk cannot hold the scan.
    const tavik::TUniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, zr::kMaxEndSearch));
    zr::TBytes tail(tailSize);
    if (!ReadAt(fd.Get(), tail.data(), tailSize, size - tailSize)) return false;
    try {
        zr::TFoundEnd found = zr::FindEndRecord(tail.data(), tail.size());
        // The central directory ends where the end records begin.
        std::uint64_t limit = size - tailSize + found.position;
        if (found.hasLocator) {
            if (found.zip64Offset > limit || limit - found.zip64Offset < zr::kZip64EndRecordSize) return false;
            std::uint8_t record[zr::kZip64EndRecordSize];
            if (!ReadAt(fd.Get(), record, sizeof record, found.zip64Offset)) return false;
            zr::ApplyZip64EndRecord(found, record, sizeof record);
            limit = found.zip64Offset;
        }
        const zr::TEndRecord& end = found.record;
        if (end.thisDisk != 0 || end.centralDisk != 0 || end.entriesOnDisk != end.entriesTotal) return false;
        if (end.centralOffset > limit || end.centralSize > limit - end.centralOffset) return false;
        if (end.entriesTotal == 0) return end.centralSize == 0;
        std::uint8_t signature[4];
        return ReadAt(fd.Get(), signature, sizeof signature, end.centralOffset) &&
               zr::Get32(signature) == zr::kCentralHeaderSig;
    } catch (const zr::TRecordError&) {
        return false;
    }
}

bool IsOwnArchive(const std::string& directory, const std::string& archivDir, const std::string& name) {
    return directory == archivDir && IsOwnArchiveName(name) && OpensAsZipArchive(tavik::ConcatPathNames(directory, name));
}

}  // namespace vendrask
