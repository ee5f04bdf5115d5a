#pragma once
// A new file written beside its target under a temporary name. Commit() flushes it, renames
// it over the target and flushes the directory; without Commit() it disappears again, and
// the target stays exactly as it was.
#include <string>

namespace tavik {

class TPendingFile {
public:
    // Creates the empty temporary file beside target. Throws EOlvex.
    explicit TPendingFile(const std::string& target);
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;
    ~TPendingFile();

    const std::string& TempPath() const { return FTempPath; }
    // Throws EOlvex; the target is unchanged then.
    void Commit();

private:
    std::string FTarget;
    std::string FTempPath;
    bool FCommitted = false;
};

}  // namespace tavik
