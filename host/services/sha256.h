#pragma once
// SHA-256 of data given in one piece or in pieces (OpenSSL), and its written form: 64 lower-case
// hexadecimal digits, as sha256sum writes it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace tavik {

using TSha256Digest = std::array<std::uint8_t, 32>;

class TSha256 {
public:
    TSha256();
    TSha256(TSha256&&) noexcept;
    TSha256& operator=(TSha256&&) noexcept;
    ~TSha256();

    void Update(const void* data, std::size_t size);
    // The digest of everything given; the object starts anew afterwards.
    TSha256Digest Final();

private:
    struct TFree {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, TFree> FContext;
};

TSha256Digest Sha256Of(const void* data, std::size_t size);
std::string HexOf(const TSha256Digest& digest);
// The digest written as 64 hexadecimal digits (either case); nothing for anything else.
std::optional<TSha256Digest> DigestOfHex(std::string_view hex);

// The SHA-256 of a whole open file, read from its start with pread; throws EOlvex (German) when
// it cannot be read. size receives the bytes read.
TSha256Digest Sha256OfFile(int fd, std::int64_t* size = nullptr);

// The same written out, of bytes in memory, and of a regular file opened without following a
// link in its last component.
std::string Sha256Hex(std::string_view bytes);
std::string Sha256OfFile(const std::string& path, std::int64_t* size = nullptr);

}  // namespace tavik
