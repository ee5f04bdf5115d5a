#pragma once
// vendrask-leser's second task: decoding the data of ZIP entries compressed with PPMd (method 98),
// which libzip cannot read. The engine feeds entry after entry on standard input
// (leser_protocol.h); libarchive's streaming ZIP reader decodes each behind a local header made
// up here, and the decoded bytes go back as Data frames, ended by DataEnd or EntryError. Size
// and CRC are the engine's to check.

namespace tavik::leser {

// Returns when the engine closes standard input.
int RunPpmd();

}  // namespace tavik::leser
