#pragma once
// Owns a POSIX file descriptor and closes it once.
#include <unistd.h>

#include <utility>

namespace tavik {

class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : FFd(fd) {}
    TUniqueFd(TUniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.FFd, -1));
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd() { Reset(); }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    explicit operator bool() const { return Valid(); }
    int Release() { return std::exchange(FFd, -1); }
    void Reset(int fd = -1) {
        if (FFd >= 0) ::close(FFd);
        FFd = fd;
    }
    // Closes now and reports whether the kernel accepted the close (write errors may show here).
    bool Close() {
        if (FFd < 0) return true;
        return ::close(std::exchange(FFd, -1)) == 0;
    }

private:
    int FFd = -1;
};

}  // namespace tavik
