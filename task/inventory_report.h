#pragma once
// The inventory as a report: the same lines for the terminal, for CSV and for the window's PDF.
#include <string>
#include <vector>

#include "task/archive_inventory.h"

namespace vendrask {

// The columns of a report's table, in order.
const std::vector<std::string>& ReportColumns();
// One row per archive, in the order of ReportColumns; moments in local time ("09.12.2026 14:03").
std::vector<std::vector<std::string>> ReportRows(const TInventory& inventory);
// The lines above the table: installation, date, journal, interval, what is gone or unknown.
std::vector<std::string> ReportHeading(const TInventory& inventory, const std::string& installation);

// The whole report as text with tab-separated columns (fields escaped as ListedName does), or as CSV (RFC 4180, separator ';', as
// German spreadsheets read it) with the heading lines as "#" comments first.
std::string ReportText(const TInventory& inventory, const std::string& installation);
std::string ReportCsv(const TInventory& inventory, const std::string& installation);

// "2026-12-09T13:03:00Z" as local time "09.12.2026 14:03" (or in another strftime format, such
// as "%Y-%m-%d %H:%M" for a column sorted as text); empty stays empty.
std::string LocalMoment(const std::string& utc, const char* format = "%d.%m.%Y %H:%M");

}  // namespace vendrask
