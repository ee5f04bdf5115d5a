#pragma once
// Reading and writing through a file descriptor in whole: a call interrupted by a signal is
// repeated and a short transfer continued, so callers see only real failures and the end of
// the file. Header only, for the reading helper links no library of the host.
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace tavik {

// Calls call() again while it fails with EINTR; returns its last result.
template <class TCall>
auto RetryInterrupted(TCall call) {
    auto result = call();
    while (result < 0 && errno == EINTR) result = call();
    return result;
}

// What a whole transfer did: done bytes; error is the errno of the call that failed, 0 when all
// was done or, when reading, the file ended first.
struct TIoResult {
    std::size_t done = 0;
    int error = 0;
    bool Complete(std::size_t size) const { return error == 0 && done == size; }
};

namespace wholeio {

// transfer(offset within the request, bytes left) is one read or write call.
template <class TTransfer>
TIoResult Repeat(std::size_t size, TTransfer transfer, bool zeroIsEnd) {
    TIoResult result;
    while (result.done < size) {
        const ssize_t n = RetryInterrupted([&] { return transfer(result.done, size - result.done); });
        if (n < 0) {
            result.error = errno;
            break;
        }
        if (n == 0) {
            // A write that takes nothing would never finish; the disk is as good as full.
            if (!zeroIsEnd) result.error = ENOSPC;
            break;
        }
        result.done += static_cast<std::size_t>(n);
    }
    return result;
}

}  // namespace wholeio

inline TIoResult ReadWhole(int fd, void* buffer, std::size_t size) {
    auto* out = static_cast<char*>(buffer);
    return wholeio::Repeat(size, [&](std::size_t at, std::size_t left) { return ::read(fd, out + at, left); }, true);
}

inline TIoResult ReadWholeAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    auto* out = static_cast<char*>(buffer);
    return wholeio::Repeat(
        size, [&](std::size_t at, std::size_t left) { return ::pread(fd, out + at, left, static_cast<off_t>(offset + at)); },
        true);
}

inline TIoResult WriteWhole(int fd, const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    return wholeio::Repeat(size, [&](std::size_t at, std::size_t left) { return ::write(fd, in + at, left); }, false);
}

inline TIoResult WriteWholeAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
    const auto* in = static_cast<const char*>(data);
    return wholeio::Repeat(
        size, [&](std::size_t at, std::size_t left) { return ::pwrite(fd, in + at, left, static_cast<off_t>(offset + at)); },
        false);
}

}  // namespace tavik
