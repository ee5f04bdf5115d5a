#pragma once
// The authentication code of a WinZip AES entry, checked over its encrypted data. libzip 1.7.3
// checks it only for entries it reads to their end without a CRC check on top; a stored entry of
// the second kind (AE-2) carries no CRC, and libzip's check of the missing CRC at its end fails
// every such entry. This check lets nothing of a changed entry pass unnoticed.
#include <zip.h>

#include <cstdint>
#include <functional>
#include <string>

#include "host/engine/zip/zip_entry.h"

namespace tavik {

// The bytes encryption adds to an entry's raw data: the traditional header, or AES's salt,
// password verifier and authentication code; 0 for none or a method not known here.
std::uint64_t EncryptionOverhead(std::uint16_t method);

// True when entry's authentication code matches its encrypted data under password. Throws EOlvex
// when the entry cannot be read or is no AES entry. alive is called after each piece read; it may
// throw to stop.
bool AesEntryAuthenticates(zip_t* archive, const TZipEntry& entry, const std::string& password,
                           const std::function<void()>& alive);

}  // namespace tavik
