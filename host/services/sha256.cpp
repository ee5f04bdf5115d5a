#include "host/services/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>

#include <new>
#include <vector>

#include "host/services/error_kind.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "host/services/whole_io.h"

namespace tavik {

void TSha256::TFree::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

TSha256::TSha256() : FContext(EVP_MD_CTX_new()) {
    if (!FContext || EVP_DigestInit_ex(FContext.get(), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
}

TSha256::TSha256(TSha256&&) noexcept = default;
TSha256& TSha256::operator=(TSha256&&) noexcept = default;
TSha256::~TSha256() = default;

void TSha256::Update(const void* data, std::size_t size) {
    if (size != 0 && EVP_DigestUpdate(FContext.get(), data, size) != 1) throw std::bad_alloc();
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    unsigned int length = 0;
    // Started anew with the implementation it holds: naming EVP_sha256() again would look it up
    // in OpenSSL's provider store once more, for every entry of an archive.
    if (EVP_DigestFinal_ex(FContext.get(), digest.data(), &length) != 1 || length != digest.size() ||
        EVP_DigestInit_ex2(FContext.get(), nullptr, nullptr) != 1)
        throw std::bad_alloc();
    return digest;
}

TSha256Digest Sha256Of(const void* data, std::size_t size) {
    TSha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 || length != digest.size())
        throw std::bad_alloc();
    return digest;
}

std::string HexOf(const TSha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0x0F]);
    }
    return hex;
}

std::optional<TSha256Digest> DigestOfHex(std::string_view hex) {
    if (hex.size() != 64) return std::nullopt;
    const auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    TSha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = value(hex[2 * i]);
        const int low = value(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

TSha256Digest Sha256OfFile(int fd, std::int64_t* size) {
    constexpr std::size_t kChunk = 1 << 20;
    std::vector<std::uint8_t> buffer(kChunk);
    TSha256 hash;
    for (std::uint64_t at = 0;;) {
        const TIoResult read = ReadWholeAt(fd, buffer.data(), buffer.size(), at);
        if (read.error != 0)
            throw EOlvex("Die Datei kann nicht gelesen werden (" + SystemErrorText(read.error) + ").",
                         KindOfInputError(read.error));
        hash.Update(buffer.data(), read.done);
        at += read.done;
        if (read.done < buffer.size()) {
            if (size != nullptr) *size = static_cast<std::int64_t>(at);
            return hash.Final();
        }
    }
}

std::string Sha256Hex(std::string_view bytes) { return HexOf(Sha256Of(bytes.data(), bytes.size())); }

std::string Sha256OfFile(const std::string& path, std::int64_t* size) {
    const TUniqueFd fd(
        // Without waiting for a pipe put in the file's place; a regular file reads as ever.
        RetryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd)
        throw EOlvex("„" + path + "“ kann nicht gelesen werden (" + SystemErrorText(errno) + ").",
                     KindOfInputError(errno));
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw EOlvex("„" + path + "“ ist keine gewöhnliche Datei.", TErrorKind::InputMissing);
    try {
        return HexOf(Sha256OfFile(fd.Get(), size));
    } catch (const EOlvex& error) {
        throw EOlvex("„" + path + "“: " + error.what(), error.Kind());
    }
}

}  // namespace tavik
