#pragma once
// Runs the vendrask program on a host installation under a fault: a file size limit (the disk
// is full for it), a kill after some time, or without root's rights; and checks what must hold
// after any fault.
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"

namespace faults {

struct FaultOptions {
    std::vector<std::string> args{"-AUTO", "-A"};
    long long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored: writes fail with EFBIG
    int killAfterMs = -1;          // SIGKILL after that many milliseconds
    bool unprivileged = false;     // as the user without rights (when the test runs as root)
    std::map<std::string, std::string> env;
    // Called with the program's process id again and again while it runs, for a test that acts
    // when the program has come to some point (it has opened a file, say).
    std::function<void(pid_t)> whileRunning;
};

// Whether the process has path open.
bool HasOpen(pid_t pid, const std::string& path);

struct FaultResult {
    testsupport::ProcessResult process;
    bool killed = false;  // the kill came before the program ended
    double seconds = 0;   // how long it ran
};

FaultResult RunVendrask(const testsupport::HostFixture& host, const FaultOptions& options = {});

// Whether a child can give up root's rights here (false when not root: then it has none).
bool CanDropPrivileges();

// The content of every regular file below root/directory, by name relative to the root.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const testsupport::HostFixture& host, const std::string& directory = "stadata");
void Merge(Snapshot& into, const Snapshot& more);

// The final archives of the archive run in ARCHIV (SK…), sorted by name.
std::vector<std::string> FinalArchives(const testsupport::HostFixture& host);
// Files left in ARCHIV by an archive run that did not end (their temporary names).
std::vector<std::string> Leftovers(const testsupport::HostFixture& host);
// The entries of an archive (name → content) as Info-ZIP's unzip extracts them.
Snapshot ArchiveContents(const std::string& archive);

// What does not hold: every file of before is in its place with its content, or (when gone)
// inside a final archive with the same content; every final archive passes "unzip -t".
// Empty when all holds.
std::vector<std::string> Violations(const testsupport::HostFixture& host, const Snapshot& before);

// Files with content that does not compress much, so that archives have the files' size.
std::string NoisyContent(std::size_t size, unsigned seed);

}  // namespace faults
