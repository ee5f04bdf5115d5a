#include "tests/support/temp_dir.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vendrask-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only directories behind; make everything writable first.
    for (auto it = fs::recursive_directory_iterator(FPath, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(FPath, ignored);
}

void WriteFile(const fs::path& path, const std::string& content) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SortedNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void SetMTime(const fs::path& path, long long utcSeconds) {
    const timeval times[2] = {{static_cast<time_t>(utcSeconds), 0}, {static_cast<time_t>(utcSeconds), 0}};
    if (lutimes(path.c_str(), times) != 0) throw std::runtime_error("cannot set time of " + path.string());
}

std::string BinDir() {
    const char* dir = std::getenv("VENDRASK_BIN_DIR");
    return dir ? dir : VENDRASK_DEFAULT_BIN_DIR;
}

std::string TestDataDir() {
    const char* dir = std::getenv("VENDRASK_TEST_DATA");
    return dir ? dir : VENDRASK_DEFAULT_TEST_DATA;
}

}  // namespace testsupport
