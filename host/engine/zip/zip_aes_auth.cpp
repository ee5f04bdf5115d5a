#include "host/engine/zip/zip_aes_auth.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <memory>
#include <vector>

#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr int kIterations = 1000;
constexpr std::size_t kTraditionalHeader = 12;
constexpr std::size_t kVerifierLength = 2;
constexpr std::size_t kCodeLength = 10;
constexpr std::size_t kPiece = 1 << 20;

struct TMacFree {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

// Key length in bytes; the salt is half of it.
std::size_t KeyLength(std::uint16_t method) {
    switch (method) {
        case ZIP_EM_AES_128: return 16;
        case ZIP_EM_AES_192: return 24;
        case ZIP_EM_AES_256: return 32;
        default: throw EOlvex("Der Eintrag ist nicht mit AES verschlüsselt.");
    }
}

[[noreturn]] void Unreadable(const zip_error_t* error) {
    throw EOlvex(ZipErrorText(error) + ".", ZipErrorKind(error));
}

std::size_t ReadFully(zip_file_t* file, std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const zip_int64_t n = zip_fread(file, data + got, size - got);
        if (n < 0) Unreadable(zip_file_get_error(file));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

}  // namespace

std::uint64_t EncryptionOverhead(std::uint16_t method) {
    switch (method) {
        case ZIP_EM_TRAD_PKWARE: return kTraditionalHeader;
        case ZIP_EM_AES_128:
        case ZIP_EM_AES_192:
        case ZIP_EM_AES_256: return KeyLength(method) / 2 + kVerifierLength + kCodeLength;
        default: return 0;
    }
}

bool AesEntryAuthenticates(zip_t* archive, const TZipEntry& entry, const std::string& password,
                           const std::function<void()>& alive) {
    const std::size_t keyLength = KeyLength(entry.stat.encryption_method);
    const std::size_t saltLength = keyLength / 2;
    if ((entry.stat.valid & ZIP_STAT_COMP_SIZE) == 0 ||
        entry.stat.comp_size < saltLength + kVerifierLength + kCodeLength)
        return false;
    // Salt, password verifier, encrypted data, authentication code, exactly as stored.
    const TZipFilePtr file(zip_fopen_index(archive, entry.index, ZIP_FL_COMPRESSED | ZIP_FL_ENCRYPTED));
    if (!file) Unreadable(zip_get_error(archive));
    std::vector<std::uint8_t> head(saltLength + kVerifierLength);
    if (ReadFully(file.get(), head.data(), head.size()) != head.size()) return false;

    std::vector<std::uint8_t> keys(2 * keyLength + kVerifierLength);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), head.data(),
                               static_cast<int>(saltLength), kIterations, static_cast<int>(keys.size()),
                               keys.data()) != 1)
        throw std::bad_alloc();
    if (CRYPTO_memcmp(keys.data() + 2 * keyLength, head.data() + saltLength, kVerifierLength) != 0) return false;

    const std::unique_ptr<EVP_MAC, TMacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    const std::unique_ptr<EVP_MAC_CTX, TMacFree> context(mac ? EVP_MAC_CTX_new(mac.get()) : nullptr);
    std::array<char, 5> digest{"SHA1"};
    const std::array<OSSL_PARAM, 2> parameters{
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest.data(), 0), OSSL_PARAM_construct_end()};
    if (!context || EVP_MAC_init(context.get(), keys.data() + keyLength, keyLength, parameters.data()) != 1)
        throw std::bad_alloc();

    // The last ten bytes are the code; everything before them is authenticated.
    std::uint64_t remaining = entry.stat.comp_size - head.size() - kCodeLength;
    std::vector<std::uint8_t> buffer(kPiece);
    while (remaining > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kPiece));
        const std::size_t got = ReadFully(file.get(), buffer.data(), want);
        if (got != want) return false;
        EVP_MAC_update(context.get(), buffer.data(), got);
        remaining -= got;
        alive();
    }
    std::array<std::uint8_t, kCodeLength> stored{};
    if (ReadFully(file.get(), stored.data(), stored.size()) != stored.size()) return false;
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> computed{};
    std::size_t computedLength = 0;
    if (EVP_MAC_final(context.get(), computed.data(), &computedLength, computed.size()) != 1) throw std::bad_alloc();
    return CRYPTO_memcmp(computed.data(), stored.data(), kCodeLength) == 0;
}

}  // namespace tavik
