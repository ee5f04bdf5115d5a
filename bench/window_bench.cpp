// The main window with a million archive candidates: how long showing them takes (binding,
// nodes, counters, first paint), one tick of a check box with its counter update, scrolling,
// "alle ein", "umkehren" and sorting, and the memory the process needs.
//   window_bench [rows]
// Runs on Qt's offscreen platform unless a display is named.
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_measure.h"
#include "host/services/host_setup.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"

namespace {

using benchmeasure::Clock;
using benchmeasure::HeapMegabytes;
using benchmeasure::Milliseconds;
using benchmeasure::PeakMegabytes;
using benchmeasure::TimeSorts;
using benchmeasure::TSortTimes;

void Fill(tavik::TVRList& table, int rows) {
    const std::string root = "/srv/olvex/installation";
    const tavik::TDateTime start = tavik::EncodeDateTime({2024, 1, 1, 8, 0, 0});
    std::string relPath, absPath;
    for (int i = 0; i < rows; ++i) {
        const int dir = i / 100;
        if (i % 100 == 0) {
            relPath = "stadata/mandant" + std::to_string(dir % 40) + "/belege/" + std::to_string(2000 + dir % 25) +
                      "/abteilung-" + std::to_string(dir);
            absPath = root + "/" + relPath;
        }
        const std::string fileName = "beleg-" + std::to_string(1'000'000 + i) + ".dat";
        const tavik::TDateTime time = start + std::chrono::seconds{i * 61};
        table.RowAdd({relPath + "/" + fileName, std::int64_t{i % 5000} * 1021, time, time,
                      std::string(dir % 3 == 0 ? "Datei ist älter als 30 Tage." : "Datei wird nicht benötigt."),
                      std::int32_t{table.GetRowCount()}, absPath, relPath, fileName, std::int32_t{0x20}});
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // A host installation of its own, so that the window finds its client text.
    char pattern[] = "/tmp/window-bench-XXXXXX";
    const std::string scratch = mkdtemp(pattern);
    const std::string root = scratch + "/olvex";
    { tavik::THostSetup setup(root, "Messung"); }
    setenv("OLVEX_ROOT", root.c_str(), 1);
    tavik::TavikProgramm().Init("VENDRASK", tavik::TEnumProzessTypen::ptDialog, tavik::TPVR_InstanceCount::icAny, 0,
                                true);
    vendrask::TdmOlvexArchiv module(tavik::TParameters{"window_bench"});

    const double heapStart = HeapMegabytes();
    auto started = Clock::now();
    Fill(*module.SystemArch(), rows);
    module.SystemDel();
    const double fillMs = Milliseconds(started);
    const double heapTable = HeapMegabytes();

    vendrask::TfrmVendrask window(nullptr);
    window.resize(1024, 768);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);

    // What a refresh does after the scan: bind, nodes with their init handler, columns, counters.
    started = Clock::now();
    window.ShowCandidates();
    const double bindMs = Milliseconds(started);
    started = Clock::now();
    window.repaint();
    QCoreApplication::processEvents();
    const double paintMs = Milliseconds(started);
    const double heapShown = HeapMegabytes();

    tavik::TVTVRList& view = *window.vrtSystemArch;
    started = Clock::now();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    window.repaint();
    const double scrollMs = Milliseconds(started);

    // One tick as a click makes it: the model changes the node, raises OnChecked, the counters follow.
    tavik::PVirtualNode node = view.NodeAtPosition(rows / 2);
    started = Clock::now();
    view.model()->setData(view.IndexOfNode(node), Qt::Unchecked, Qt::CheckStateRole);
    const double tickMs = Milliseconds(started);
    started = Clock::now();
    view.viewport()->repaint();
    window.dspOlvexSysArchAnzSel->repaint();
    const double tickPaintMs = Milliseconds(started);
    const std::string marked = window.dspOlvexSysArchAnzSel->text().toStdString();

    started = Clock::now();
    window.spbAlleUms->click();
    const double invertMs = Milliseconds(started);
    started = Clock::now();
    window.spbAlleEin->click();
    const double allMs = Milliseconds(started);
    const TSortTimes sorts = TimeSorts(view, window);

    std::printf("rows                                 %d\n", rows);
    std::printf("fill SystemArch (ms)                 %.0f\n", fillMs);
    std::printf("bind + rebuild + counters (ms)       %.1f\n", bindMs);
    std::printf("first paint (ms)                     %.1f\n", paintMs);
    std::printf("scroll to the middle + paint (ms)    %.1f\n", scrollMs);
    std::printf("one tick incl. counters (ms)         %.3f   (marked now: \"%s\")\n", tickMs, marked.c_str());
    std::printf("repaint after the tick (ms)          %.1f\n", tickPaintMs);
    std::printf("umkehren (ms)                        %.1f\n", invertMs);
    std::printf("alle ein (ms)                        %.1f\n", allMs);
    std::printf("sort by size + paint (ms)            %.0f\n", sorts.bySize);
    std::printf("sort by name + paint (ms)            %.0f\n", sorts.byName);
    std::printf("table memory (MB)                    %.1f\n", heapTable - heapStart);
    std::printf("view memory over the table (MB)      %.1f\n", heapShown - heapTable);
    std::printf("peak resident memory (MB)            %.1f\n", PeakMegabytes());

    std::filesystem::remove_all(scratch);
    return 0;
}
