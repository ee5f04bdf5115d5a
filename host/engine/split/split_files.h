#pragma once
// Plain POSIX file access for split volumes: owned descriptors, exact reads and writes, file
// identity, and outputs that take their final name only when complete.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik::splitio {

// An owned file descriptor.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle();
    TFileHandle(TFileHandle&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    void Close();

private:
    int FFd = -1;
};

struct TFileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// Opens a file for reading; throws EOlvex naming it.
TFileHandle OpenForReading(const std::string& path);
std::uint64_t FileSize(const TFileHandle& file, const std::string& path);
TFileIdentity Identity(const TFileHandle& file, const std::string& path);
// Reads exactly size bytes at offset; throws EOlvex (a short read means the file shrank).
void ReadAt(const TFileHandle& file, const std::string& path, std::uint64_t offset, void* buffer, std::size_t size);
void WriteAll(const TFileHandle& file, const std::string& path, const void* buffer, std::size_t size);
void WriteAt(const TFileHandle& file, const std::string& path, std::uint64_t offset, const void* buffer, std::size_t size);
void Sync(const TFileHandle& file, const std::string& path);
void SyncDirectory(const std::string& dir);

bool Exists(const std::string& path);  // any directory entry, dangling links included
bool IsFile(const std::string& path);

// A new file in dir under a hidden temporary name, removed again unless it was placed.
class TTempFile {
public:
    TTempFile(const std::string& dir, const std::string& stem);
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const TFileHandle& File() const { return FFile; }
    const std::string& Path() const { return FPath; }
    // Flushes, closes and gives the file its final name; never replaces an existing file.
    void Place(const std::string& finalPath);

private:
    std::string FPath;
    TFileHandle FFile;
    bool FPlaced = false;
};

}  // namespace tavik::splitio
