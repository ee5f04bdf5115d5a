#pragma once
// The names of the archive run's archives in ARCHIV, built and recognised here alone (the run,
// the delete scan, the search and the leftover cleanup ask this file):
//   "SK" + the day as yymmdd + "." + a number   "SK261207.001"
//   the same + ".defekt"                        an archive set aside after a failed read-back
// The run numbers a day's archives from 1 with at least three digits; a number of any length
// of one digit or more is recognised. The day is taken as six digits, not checked as a date.
#include <optional>
#include <string>
#include <string_view>

#include "host/services/date_time.h"

namespace tavik {

struct TArchiveName {
    std::string day;        // the six digits yymmdd
    std::string number;     // one digit or more
    bool setAside = false;  // ".defekt" after it
};

// The name the run gives its number-th archive of the day date: "SK261207.001".
std::string MakeArchiveName(const TDateParts& date, int number);

// What an archive (a name or a path) is called once it is set aside: "SK261207.001.defekt".
std::string SetAsideName(const std::string& archive);

// The parts of an archive's name, set aside or not; nothing for any other name.
std::optional<TArchiveName> ParseArchiveName(std::string_view name);

// "SK261207.001" and the like, not set aside.
bool IsArchiveName(std::string_view name);

// "SK261207.001.defekt" and the like.
bool IsSetAsideArchiveName(std::string_view name);

// An archive's name as the run writes it: not set aside, its number of three digits or more.
bool IsArchiveNameAsWritten(std::string_view name);

}  // namespace tavik
