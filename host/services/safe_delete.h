#pragma once
// Deleting files the program has looked at before: only a regular file, never through a
// symbolic link in its last component, and only while it is the file that was seen.
#include <cstdint>
#include <optional>
#include <string>

#include "host/services/date_time.h"

namespace tavik {

struct TExpectedFile {
    std::int64_t Size = 0;
    TDateTime Modified{};  // zero: not compared
};

enum class TDeleteOutcome { Deleted, Missing, NotRegular, Changed, Failed };

struct TDeleteResult {
    TDeleteOutcome Outcome = TDeleteOutcome::Failed;
    std::string Reason;  // German, for every outcome but Deleted and Missing
};

TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected);

}  // namespace tavik
