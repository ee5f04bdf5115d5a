#include "host/services/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <memory>

#include "host/services/error_kind.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

struct TDigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

class TSha256 {
public:
    TSha256() : FContext(EVP_MD_CTX_new()) {
        if (!FContext || EVP_DigestInit_ex(FContext.get(), EVP_sha256(), nullptr) != 1)
            throw EOlvex("Die Prüfsumme SHA-256 steht nicht zur Verfügung (OpenSSL).");
    }
    void Add(const void* data, std::size_t size) {
        if (size > 0 && EVP_DigestUpdate(FContext.get(), data, size) != 1)
            throw EOlvex("Die Prüfsumme SHA-256 kann nicht berechnet werden (OpenSSL).");
    }
    std::string Hex() {
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(FContext.get(), digest.data(), &length) != 1)
            throw EOlvex("Die Prüfsumme SHA-256 kann nicht berechnet werden (OpenSSL).");
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string hex;
        hex.reserve(2 * length);
        for (unsigned int i = 0; i < length; ++i) {
            hex.push_back(kDigits[digest[i] >> 4]);
            hex.push_back(kDigits[digest[i] & 0x0f]);
        }
        return hex;
    }

private:
    std::unique_ptr<EVP_MD_CTX, TDigestFree> FContext;
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    TSha256 sha;
    sha.Add(bytes.data(), bytes.size());
    return sha.Hex();
}

std::string Sha256OfFile(const std::string& path, std::int64_t* size) {
    const TUniqueFd fd(RetryInterrupted([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC); }));
    if (!fd)
        throw EOlvex("„" + path + "“ kann nicht gelesen werden (" + SystemErrorText(errno) + ").",
                     KindOfInputError(errno));
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw EOlvex("„" + path + "“ ist keine gewöhnliche Datei.", TErrorKind::InputMissing);
    TSha256 sha;
    std::array<char, 1 << 16> buffer{};
    std::int64_t total = 0;
    for (;;) {
        const ssize_t n = RetryInterrupted([&] { return ::read(fd.Get(), buffer.data(), buffer.size()); });
        if (n < 0)
            throw EOlvex("„" + path + "“ kann nicht gelesen werden (" + SystemErrorText(errno) + ").",
                         KindOfInputError(errno));
        if (n == 0) break;
        sha.Add(buffer.data(), static_cast<std::size_t>(n));
        total += n;
    }
    if (size) *size = total;
    return sha.Hex();
}

}  // namespace tavik
