#include "task/bag_files.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "host/services/exceptions.h"
#include "host/services/safe_write.h"
#include "host/services/unique_fd.h"
#include "host/services/whole_io.h"

namespace vendrask {

namespace {

struct TContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using TContext = std::unique_ptr<EVP_MD_CTX, TContextFree>;

// SHA-256 and SHA-512 of the same bytes at once.
class TTwoDigests {
public:
    TTwoDigests() : F256(Start(EVP_sha256())), F512(Start(EVP_sha512())) {}
    void Update(const void* data, std::size_t size) {
        if (EVP_DigestUpdate(F256.get(), data, size) != 1 || EVP_DigestUpdate(F512.get(), data, size) != 1)
            throw tavik::EOlvex("Die Prüfsummen können nicht berechnet werden (OpenSSL).");
        FSize += static_cast<std::int64_t>(size);
    }
    TFileDigests Final() { return {Hex(F256.get()), Hex(F512.get()), FSize}; }

private:
    static TContext Start(const EVP_MD* method) {
        TContext context(EVP_MD_CTX_new());
        if (!context || EVP_DigestInit_ex(context.get(), method, nullptr) != 1)
            throw tavik::EOlvex("Die Prüfsummen können nicht berechnet werden (OpenSSL).");
        return context;
    }
    static std::string Hex(EVP_MD_CTX* context) {
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(context, digest.data(), &size) != 1)
            throw tavik::EOlvex("Die Prüfsummen können nicht berechnet werden (OpenSSL).");
        std::string hex;
        for (unsigned int i = 0; i < size; ++i) {
            hex += "0123456789abcdef"[digest[i] >> 4];
            hex += "0123456789abcdef"[digest[i] & 15];
        }
        return hex;
    }

    TContext F256;
    TContext F512;
    std::int64_t FSize = 0;
};

std::string OneLine(std::string value) {
    for (char& c : value)
        if (c == '\n' || c == '\r') c = ' ';
    return value;
}

}  // namespace

std::string ManifestPath(std::string_view path) {
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        if (c == '\r') encoded += "%0D";
        else if (c == '\n') encoded += "%0A";
        else if (c == '%') encoded += "%25";
        else encoded += c;
    }
    return encoded;
}

std::string ManifestText(const std::vector<TManifestLine>& lines) {
    std::string text;
    for (const TManifestLine& line : lines) text += line.Digest + "  " + ManifestPath(line.Path) + "\n";
    return text;
}

std::string BagInfoText(const TBagInfo& info) {
    return "Source-Organization: " + OneLine(info.Organization) + "\n" + "Bagging-Date: " + OneLine(info.Date) + "\n" +
           "Payload-Oxum: " + std::to_string(info.Octets) + "." + std::to_string(info.Files) + "\n" +
           "External-Description: " + OneLine(info.Description) + "\n";
}

TFileDigests DigestsOfFile(const std::string& path) {
    const tavik::TUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat status {};
    if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = file.Valid() ? 0 : errno;
        throw tavik::EOlvex("Die Datei „" + path + "“ kann nicht gelesen werden" +
                            (error != 0 ? std::string(": ") + std::strerror(error) : std::string(" (keine Datei)")) +
                            ".");
    }
    TTwoDigests digests;
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t n = tavik::RetryInterrupted([&] { return ::read(file.Get(), buffer.data(), buffer.size()); });
        if (n < 0)
            throw tavik::EOlvex("Die Datei „" + path + "“ kann nicht gelesen werden: " + std::strerror(errno) + ".");
        if (n == 0) break;
        digests.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    return digests.Final();
}

TFileDigests DigestsOf(std::string_view bytes) {
    TTwoDigests digests;
    digests.Update(bytes.data(), bytes.size());
    return digests.Final();
}

void WriteBagFile(const std::string& path, std::string_view content) {
    tavik::TSafeWrite file(path, tavik::TDurability::Flushed, 0644);
    file.Write(content.data(), content.size());
    if (!file.Place(tavik::TPlacing::NoReplace))
        throw tavik::EOlvex("Die Datei „" + path + "“ gibt es schon; sie wird nicht überschrieben.");
}

}  // namespace vendrask
