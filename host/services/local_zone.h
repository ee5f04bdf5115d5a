#pragma once
// The time zone of the process's local time conversions.

namespace tavik {

// Without TZ the C library looks at /etc/localtime anew (a file status call) on every
// conversion of a local time: one or two for each entry of an archive, most of the time that
// listing or verifying an archive of many small entries takes. Naming the same file keeps the
// zone it read once; the times stay those of the system's zone (without the file, UTC either
// way). A TZ that is set is left alone. Called once by a program's main, before any thread.
void KeepLocalZoneRead();

}  // namespace tavik
