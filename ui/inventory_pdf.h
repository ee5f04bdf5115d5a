#pragma once
// The inventory report as a PDF: A4 landscape, the heading lines, then the table, its header
// repeated on every page.
#include <string>
#include <vector>

namespace vendrask {

// False when the file cannot be written.
bool WriteTablePdf(const std::string& fileName, const std::string& title, const std::vector<std::string>& heading,
                   const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& rows);

}  // namespace vendrask
