#pragma once
// A name as one field of a tab-separated line: control characters and the backslash as C
// escapes, so that a newline or tab in a name starts no line or column of its own.
#include <string>
#include <string_view>

namespace vendrask {

std::string ListedName(std::string_view name);

}  // namespace vendrask
