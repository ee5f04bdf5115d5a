#pragma once
// A scratch directory for one test, removed with everything below it at the end.
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return FPath; }
    std::string str() const { return FPath.string(); }
    std::filesystem::path operator/(const std::string& relative) const { return FPath / relative; }

private:
    std::filesystem::path FPath;
};

// Writes text (or size bytes of a repeating pattern) to a file, creating its directories.
void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);
// The names in a directory, sorted.
std::vector<std::string> SortedNames(const std::filesystem::path& dir);
// Sets the modification time (seconds since the epoch, UTC).
void SetMTime(const std::filesystem::path& path, long long utcSeconds);

// The folder of the built programs (VENDRASK_BIN_DIR) and the test data folder.
std::string BinDir();
std::string TestDataDir();

}  // namespace testsupport
