#pragma once
// Exit statuses of vendrask-archiv and the one way its commands report wrong usage.
#include <iostream>
#include <string>

namespace vendrask {

constexpr int kArchivOk = 0;
constexpr int kArchivFailed = 1;  // the command failed or was refused; the reason is on stderr
constexpr int kArchivUsage = 2;   // wrong usage

inline int ArchivUsage(const std::string& problem, const char* usageText) {
    if (!problem.empty()) std::cerr << "vendrask-archiv: " << problem << "\n";
    std::cerr << usageText;
    return kArchivUsage;
}

}  // namespace vendrask
