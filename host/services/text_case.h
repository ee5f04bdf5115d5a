#pragma once
// Case folding of UTF-8 text for names that the user types: ASCII, the letters of Latin-1
// (ä ö ü and the others) and of Latin Extended-A. Other bytes stay as they are.
#include <cstdint>
#include <string>
#include <string_view>

namespace tavik {

// Lower-case form: "DÄTEN" and "däten" give the same; "ẞ" becomes "ß".
std::string FoldCaseUtf8(std::string_view text);
// The same into out, whose memory is used again: for folding many names in a row.
void FoldCaseUtf8Into(std::string_view text, std::string& out);

// Appends the UTF-8 form of a code point below U+10000.
void AppendUtf8(std::string& out, std::uint32_t code);

}  // namespace tavik
