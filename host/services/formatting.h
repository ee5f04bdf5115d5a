#pragma once
// Dates and byte sizes as the German user interface shows them.
#include <cstdint>
#include <string>

#include "host/services/date_time.h"

namespace tavik {

// The date part (and with some formats the time) of a value. The format number is the length
// of the text it gives:
//    8  "dd.mm.yy"
//   10  "dd.mm.yyyy"            (also every number not listed here)
//   16  "dd.mm.yyyy hh:mm"
//   19  "dd.mm.yyyy hh:mm:ss"
// The zero value ("no time known") gives the empty text.
std::string tavik_DateToStr(TDateTime value, int format);

// "hh:mm:ss"; the zero value gives the empty text.
std::string tavik_TimeToStr(TDateTime value);

// A byte count as it is shown to the user, with German digit grouping and decimal comma:
//   0 -> "0 Bytes", 1 -> "1 Byte", 1000 -> "1.000 Bytes", 1023 -> "1.023 Bytes",
//   1024 -> "1,00 KB", 1750 -> "1,71 KB", 1536 * 1024 -> "1,50 MB", and on through GB to TB,
//   the largest unit (8 EB show as "8.388.608,00 TB").
// Units are powers of 1024; the amount is rounded half up to two decimals. The unit is chosen
// after rounding, so an amount never shows as "1024,00" of a unit: 1024 * 1024 - 1 bytes are
// "1,00 MB", not "1024,00 KB". Negative counts keep their sign ("-1 Bytes", "-1,71 KB");
// only exactly 1 is "Byte".
std::string tavik_FormatByteSize(std::int64_t bytes);

// A whole number with German digit grouping: 155814716 -> "155.814.716", -1234 -> "-1.234".
std::string tavik_FormatGrouped(std::int64_t value);

}  // namespace tavik
