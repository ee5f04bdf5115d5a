#pragma once
// The command line as the host framework reads it: parameter 0 is the program path.
#include <optional>
#include <string>
#include <vector>

namespace tavik {

using TParameters = std::vector<std::string>;

TParameters ParametersFrom(int argc, const char* const* argv);

// A parameter matches a switch name when its first character is '-' or '/' and everything
// after it equals the name without regard to case: -AUTO matches "AUTO" but not "A".
bool FindCmdLineSwitch(const TParameters& parameters, const std::string& name);

// Items of a comma text as the framework's string lists read it: blanks (codes 1 to 32)
// separate like commas, double quotes enclose items with commas or blanks ("" inside stands
// for one quote), two commas give an empty item, a comma as the very last character too.
std::vector<std::string> CommaTextToList(const std::string& text);

}  // namespace tavik
