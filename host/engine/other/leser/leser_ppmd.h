#pragma once
// vendrask-leser's second task: decoding the data of one ZIP entry compressed with PPMd
// (method 98), which libzip cannot read. The engine feeds the entry's raw (decrypted) data on
// standard input; libarchive's streaming ZIP reader decodes it behind a local header made up
// here, and the decoded bytes go back as Data frames, ended by DataEnd or EntryError. Size and
// CRC are the engine's to check.
#include <cstdint>

namespace tavik::leser {

// size: the entry's size; packed: the length of its raw data.
int RunPpmd(std::uint64_t size, std::uint64_t packed);

}  // namespace tavik::leser
