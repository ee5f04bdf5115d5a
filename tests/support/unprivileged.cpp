#include "tests/support/unprivileged.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrograms[] = {"vendrask", "vendrask-archiv", "vendrask-leser", "olvexhost"};

// The folder of copies, removed when the test process ends.
class TReachableCopies {
public:
    TReachableCopies() {
        fs::permissions(FDir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        for (const char* name : kPrograms) {
            const fs::path built = fs::path(BinDir()) / name;
            if (!fs::exists(built)) continue;
            fs::copy_file(built, FDir / name, fs::copy_options::overwrite_existing);
            fs::permissions(FDir / name, fs::perms(0755));
        }
    }
    std::string Path(const std::string& name) const { return (FDir / name).string(); }

private:
    TempDir FDir;
};

}  // namespace

TestUser UnprivilegedUser() {
    if (const char* name = std::getenv("VENDRASK_TEST_USER"); name != nullptr && *name != '\0')
        if (const passwd* user = ::getpwnam(name)) return {user->pw_uid, user->pw_gid};
    return {65534, 65534};
}

bool RunningAsRoot() { return ::geteuid() == 0; }

std::string ReachableProgram(const std::string& name) {
    if (!RunningAsRoot()) return BinDir() + "/" + name;
    static std::once_flag once;
    static std::unique_ptr<TReachableCopies> copies;
    std::call_once(once, [] { copies = std::make_unique<TReachableCopies>(); });
    return copies->Path(name);
}

std::vector<std::string> Unprivileged(std::vector<std::string> argv) {
    if (argv.empty()) throw std::invalid_argument("Unprivileged: no program");
    const fs::path program(argv[0]);
    for (const char* name : kPrograms)
        if (program.filename() == name && program.parent_path() == fs::path(BinDir())) argv[0] = ReachableProgram(name);
    if (!RunningAsRoot()) return argv;
    const TestUser user = UnprivilegedUser();
    std::vector<std::string> wrapped{"setpriv", "--reuid=" + std::to_string(user.uid),
                                     "--regid=" + std::to_string(user.gid), "--clear-groups", "--"};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

void OpenToTestUser(const std::string& path) {
    for (fs::path dir = fs::path(path).parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path())
        fs::permissions(dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    fs::permissions(path, fs::perms::all);
}

}  // namespace testsupport
