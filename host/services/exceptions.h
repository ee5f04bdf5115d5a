#pragma once
// Exceptions of the host layer. Their messages are German and meant for the user.
#include <stdexcept>
#include <string>

namespace tavik {

// A failure with a message for the user.
class EOlvex : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The host installation (OLVEX_ROOT, its directories or its database) is missing or unusable.
// Nothing can be done; an unattended run ends with status 2.
class EHostInstallation : public EOlvex {
public:
    using EOlvex::EOlvex;
};

}  // namespace tavik
