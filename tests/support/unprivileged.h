#pragma once
// Running the programs as a user without rights, as the tests that need one do also where they
// run as root (CI does): the user is VENDRASK_TEST_USER (scripts/test creates it), else
// nobody (65534); the programs are copied into a folder that user can reach, since the
// checkout may lie in one only its owner can enter.
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct TestUser {
    uid_t uid;
    gid_t gid;
};

// The user without rights the tests run programs as.
TestUser UnprivilegedUser();

// Whether this test process has root's rights: then programs are run as UnprivilegedUser().
bool RunningAsRoot();

// The path of the built program name (vendrask, vendrask-archiv, ...) from which the user
// without rights can run it: as root, a copy (with the reading helper beside it) in a folder
// open to everyone, made once per test process; otherwise the program in BinDir().
std::string ReachableProgram(const std::string& name);

// argv run as the user without rights, through setpriv, when this process is root; argv as it
// is otherwise. argv[0] is taken through ReachableProgram when it names a built program.
std::vector<std::string> Unprivileged(std::vector<std::string> argv);

// Gives the user without rights access to path and every folder above it (x for folders on the
// way, and path itself for everyone), as an installation for such a run needs.
void OpenToTestUser(const std::string& path);

}  // namespace testsupport
