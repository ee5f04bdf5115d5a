#pragma once
#include <string>

// Prints both candidate tables of a scan of the installation of OLVEX_ROOT; changes nothing.
int PrintCandidates();
// Prints what the scan makes of one file and why.
int ExplainFile(const std::string& path);
