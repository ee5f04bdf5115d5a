#pragma once
// The inventory report as a PDF: A4 landscape, the heading lines, then the table, its header
// repeated on every page; a text may follow on pages of its own.
#include <string>
#include <vector>

namespace vendrask {

// False when the file cannot be written. appendix: text that follows the table on pages of its
// own, line by line as it stands (empty: none).
bool WriteTablePdf(const std::string& fileName, const std::string& title, const std::vector<std::string>& heading,
                   const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& rows,
                   const std::string& appendix = {});

}  // namespace vendrask
