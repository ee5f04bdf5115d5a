// Fills a candidate table (ten columns) with a million rows the way a scan does and reports the
// time taken and the memory the table holds.
//   vr_list_bench [rows]
#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/services/date_time.h"
#include "host/services/vr_list.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Bytes the heap hands out at the moment, including blocks served by mmap.
double HeapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

void AddCandidateColumns(tavik::TVRList& list) {
    const struct {
        const char* caption;
        int kind;
    } columns[] = {{"Name", tavik::vrkText},     {"Größe", tavik::vrkInt64},   {"Datum", tavik::vrkDate},
                   {"Uhrzeit", tavik::vrkTime},  {"Notiz", tavik::vrkText},    {"Index", tavik::vrkInteger},
                   {"AbsPath", tavik::vrkText},  {"RelPath", tavik::vrkText},  {"FileName", tavik::vrkText},
                   {"Attribute", tavik::vrkInteger}};
    for (const auto& c : columns) {
        tavik::TVRColumn& column = list.ColumnAdd();
        column.Caption = c.caption;
        column.Kind = c.kind;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const std::string root = "/srv/olvex/installation";
    const std::string noteOld = "Datei ist älter als 30 Tage.";
    const std::string noteUnknown = "Datei wird nicht benötigt.";
    const tavik::TDateTime start = tavik::EncodeDateTime({2024, 1, 1, 8, 0, 0});

    const double heapBefore = HeapMegabytes();
    tavik::TVRList list;
    AddCandidateColumns(list);

    double addSeconds = 0;
    std::int64_t textBytes = 0;
    const auto total = Clock::now();
    std::string relPath, absPath, fileName, name;
    for (int i = 0; i < rows; ++i) {
        // 100 files per directory, directories four levels deep below "stadata".
        const int dir = i / 100;
        if (i % 100 == 0) {
            relPath = "stadata/mandant" + std::to_string(dir % 40) + "/belege/" + std::to_string(2000 + dir % 25) +
                      "/abteilung-" + std::to_string(dir);
            absPath = root + "/" + relPath;
        }
        fileName = "beleg-" + std::to_string(1'000'000 + i) + "-kunde-" + std::to_string(i * 7919 % 100'000) + ".dat";
        name = relPath + "/" + fileName;
        const std::string& note = (dir % 3 == 0) ? noteOld : noteUnknown;
        const tavik::TDateTime time = start + std::chrono::seconds{i * 61};
        textBytes += static_cast<std::int64_t>(name.size() + note.size() + absPath.size() + relPath.size() +
                                               fileName.size());

        const auto added = Clock::now();
        list.RowAdd({name, std::int64_t{i} * 1021, time, time, note, std::int32_t{list.GetRowCount()}, absPath,
                     relPath, fileName, std::int32_t{0x20}},
                    0);
        addSeconds += Seconds(added);
    }
    const double totalSeconds = Seconds(total);
    const double heapAfter = HeapMegabytes();

    // Read every text cell once, as a view that draws or sorts all rows would.
    const auto read = Clock::now();
    std::size_t readBytes = 0;
    for (int row = 0; row < list.GetRowCount(); ++row)
        for (int column : {0, 4, 6, 7, 8}) readBytes += list.GetText(row, column).size();
    std::int64_t sizes = 0;
    for (int row = 0; row < list.GetRowCount(); ++row) sizes += tavik::PVRItem2Int64(list.GetCellValue(row, 1));
    const double readSeconds = Seconds(read);

    std::printf("rows                         %d\n", list.GetRowCount());
    std::printf("text given (MB)              %.1f\n", static_cast<double>(textBytes) / (1024.0 * 1024.0));
    std::printf("table memory (MB)            %.1f\n", heapAfter - heapBefore);
    std::printf("RowAdd calls (s)             %.3f\n", addSeconds);
    std::printf("fill loop incl. values (s)   %.3f\n", totalSeconds);
    std::printf("read all texts + sizes (s)   %.3f  (%zu bytes, sum %lld)\n", readSeconds, readBytes,
                static_cast<long long>(sizes));
    return 0;
}
