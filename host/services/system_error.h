#pragma once
// The German text of a system error number, for messages to the user.
#include <string>

namespace tavik {

// A short phrase that fits after a colon or in parentheses ("der Datenträger ist voll").
// Numbers without a text of their own read "Systemfehler N (…)".
std::string SystemErrorText(int error);

}  // namespace tavik
