#pragma once
// Case folding of UTF-8 text for names that the user types: ASCII, the letters of Latin-1
// (ä ö ü and the others) and of Latin Extended-A. Other bytes stay as they are.
#include <string>
#include <string_view>

namespace tavik {

// Lower-case form: "DÄTEN" and "däten" give the same; "ẞ" becomes "ß".
std::string FoldCaseUtf8(std::string_view text);

}  // namespace tavik
