#pragma once
// The host's file-system names: the named directories of the installation and the host's
// notation of paths (relative to the root with '/' separators).
#include <string>
#include <vector>

namespace tavik {

class TTavikFSNames {
public:
    TTavikFSNames();

    // The directory names in the host's order.
    const std::vector<std::string>& Names() const { return FNames; }

    // path relative to the root with '/' separators when it lies below the root; otherwise
    // path unchanged.
    std::string GetTavikFSName(const std::string& path) const;

private:
    std::string FRoot;
    std::vector<std::string> FNames;
};

// The absolute path of the named host directory (names compare without regard to case), or of
// file inside it when file is not empty. "stadata" lies directly below the root; "ARCHIV" and
// "STATEMP" default to directories of those names below the root. Throws EOlvex for a name the
// installation does not know.
std::string GetDirOlvexByName(const std::string& directory, const std::string& file, bool flag);

}  // namespace tavik
