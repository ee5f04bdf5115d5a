#pragma once
// Plain POSIX reading of split volumes: exact reads and file identity.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/services/unique_fd.h"

namespace tavik::split {

struct TFileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// Opens a file for reading; throws EOlvex naming it.
TUniqueFd OpenForReading(const std::string& path);
std::uint64_t FileSize(const TUniqueFd& file, const std::string& path);
TFileIdentity Identity(const TUniqueFd& file, const std::string& path);
// Reads exactly size bytes at offset; throws EOlvex (a short read means the file shrank).
void ReadAt(const TUniqueFd& file, const std::string& path, std::uint64_t offset, void* buffer, std::size_t size);

bool IsFile(const std::string& path);

}  // namespace tavik::split
