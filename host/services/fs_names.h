#pragma once
// The host's file-system names: the named directories of the installation and the host's
// notation of paths. A file below the root is named relative to the root ('/' separators); a
// file of a host directory outside the root is named by that directory's name joined with the
// path below it ("ARCHIV/SK261208.001" for an ARCHIV mounted elsewhere), so object-table rules
// and archive entry names mean the same wherever a directory lives.
#include <optional>
#include <string>
#include <vector>

namespace tavik {

struct TTavikFSDirectory {
    std::string Name;  // as the host database spells it
    std::string Path;  // absolute, lexically normal, without a trailing separator
    bool BelowRoot = false;
};

class TTavikFSNames {
public:
    TTavikFSNames();

    // The directory names in the host's order.
    const std::vector<std::string>& Names() const { return FNames; }
    // The named directories with their absolute paths, in the same order.
    const std::vector<TTavikFSDirectory>& Directories() const { return FDirectories; }
    const std::string& Root() const { return FRoot; }

    // The host's name of path (see above); path unchanged when it lies neither below the root
    // nor in a host directory, so the result is a display text that may be absolute.
    std::string GetTavikFSName(const std::string& path) const;
    // The same, but nothing for a path that has no relative name: never absolute.
    std::optional<std::string> FindTavikFSName(const std::string& path) const;
    // The absolute path of a relative name: below the host directory outside the root whose
    // name the name starts with, else below the root. The name is not checked for "..".
    std::string GetTavikFSPath(const std::string& name) const;

private:
    std::string FRoot;
    std::vector<std::string> FNames;
    std::vector<TTavikFSDirectory> FDirectories;
};

// The absolute path of the named host directory (names compare without regard to case), or of
// file inside it when file is not empty. "stadata" lies directly below the root; "ARCHIV" and
// "STATEMP" default to directories of those names below the root. Throws EOlvex for a name the
// installation does not know.
std::string GetDirOlvexByName(const std::string& directory, const std::string& file, bool flag);

// Where the directory that the host database lists as name with the stored path lies: absolute,
// lexically normal, without a trailing separator ("stadata" always directly below the root).
std::string ResolveHostDirectory(const std::string& root, const std::string& name, const std::string& stored);

// path == directory or path lies below it, comparing the texts.
bool IsSameOrBelow(const std::string& path, const std::string& directory);

}  // namespace tavik
