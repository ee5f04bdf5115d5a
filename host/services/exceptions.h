#pragma once
// Exceptions of the host layer. Their messages are German and meant for the user.
#include <stdexcept>
#include <string>

#include "host/services/error_kind.h"

namespace tavik {

// A failure with a message for the user and its kind.
class EOlvex : public std::runtime_error {
public:
    explicit EOlvex(const std::string& message, TErrorKind kind = TErrorKind::Other)
        : std::runtime_error(message), FKind(kind) {}
    explicit EOlvex(const char* message, TErrorKind kind = TErrorKind::Other)
        : std::runtime_error(message), FKind(kind) {}

    TErrorKind Kind() const noexcept { return FKind; }

private:
    TErrorKind FKind;
};

// The host installation (OLVEX_ROOT, its directories or its database) is missing or unusable.
// Nothing can be done; an unattended run ends with status 2.
class EHostInstallation : public EOlvex {
public:
    using EOlvex::EOlvex;
};

}  // namespace tavik
