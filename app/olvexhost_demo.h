#pragma once
#include <ctime>
#include <string>

// Fills a new host installation with demo data that exercises every decision of the scan.
void CreateDemoInstallation(const std::string& root, std::time_t now);
