#pragma once
// Runs a program the way a scheduler or a shell would and captures what it prints.
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::map<std::string, std::string> env;  // added to (or replacing in) the test's environment
    std::vector<std::string> unsetEnv;
    std::string workDir;
    std::string input;  // standard input
    int killAfterSeconds = 0;  // > 0: a program still running then is killed (status 128 + 9)
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Whether a program's output holds the text.
inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace testsupport
