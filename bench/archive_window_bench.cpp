// The workbench page with a large archive: how long opening it takes as the open command does
// (the format recognised, then the entries listed into the view, first paint), scrolling, one
// tick, sorting, and the memory the process needs.
//   archive_window_bench ARCHIV
// Runs on Qt's offscreen platform unless a display is named. bench/run writes the archive.
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_measure.h"
#include "host/services/host_setup.h"
#include "host/services/local_zone.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"
#include "ui/workbench_support.h"

namespace {

using benchmeasure::Clock;
using benchmeasure::HeapMegabytes;
using benchmeasure::Milliseconds;
using benchmeasure::PeakMegabytes;
using benchmeasure::TimeSorts;
using benchmeasure::TSortTimes;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: archive_window_bench ARCHIV\n");
        return 2;
    }
    const std::string archive = std::filesystem::absolute(argv[1]).string();
    // As the program's main does.
    tavik::KeepLocalZoneRead();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // A host installation of its own, so that the window finds its client text.
    char pattern[] = "/tmp/archive-window-bench-XXXXXX";
    const std::string scratch = mkdtemp(pattern);
    const std::string root = scratch + "/olvex";
    { tavik::THostSetup setup(root, "Messung"); }
    setenv("OLVEX_ROOT", root.c_str(), 1);
    tavik::TavikProgramm().Init("VENDRASK", tavik::TEnumProzessTypen::ptDialog, tavik::TPVR_InstanceCount::icAny, 0,
                                true);
    vendrask::TdmOlvexArchiv module(tavik::TParameters{"archive_window_bench"});
    vendrask::TfrmVendrask window(nullptr);
    window.resize(1024, 768);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    const double heapStart = HeapMegabytes();
    const double peakStart = PeakMegabytes();

    // What the open command does after its file dialog.
    auto started = Clock::now();
    vendrask::WorkbenchModule().SetArchivFileName(archive);
    const double recogniseMs = Milliseconds(started);
    if (vendrask::WorkbenchModule().ArchivFileName() != archive) {
        std::fprintf(stderr, "%s is not opened as an archive\n", archive.c_str());
        return 1;
    }
    started = Clock::now();
    window.ArchivAnzeigen();
    const double listMs = Milliseconds(started);
    started = Clock::now();
    window.repaint();
    QCoreApplication::processEvents();
    const double paintMs = Milliseconds(started);
    const double heapShown = HeapMegabytes();
    const double peakShown = PeakMegabytes();

    tavik::TVTVRList& view = *window.vrtArchivInhalt;
    const int rows = view.RootNodeCount();
    started = Clock::now();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    window.repaint();
    const double scrollMs = Milliseconds(started);

    // One tick as a click makes it.
    tavik::PVirtualNode node = view.NodeAtPosition(rows / 2);
    started = Clock::now();
    view.model()->setData(view.IndexOfNode(node), Qt::Checked, Qt::CheckStateRole);
    view.viewport()->repaint();
    const double tickMs = Milliseconds(started);

    const TSortTimes sorts = TimeSorts(view, window);

    std::printf("rows                                 %d\n", rows);
    std::printf("recognise the format (ms)            %.0f\n", recogniseMs);
    std::printf("list into the view (ms)              %.0f\n", listMs);
    std::printf("first paint (ms)                     %.1f\n", paintMs);
    std::printf("open in all (ms)                     %.0f\n", recogniseMs + listMs + paintMs);
    std::printf("scroll to the middle + paint (ms)    %.1f\n", scrollMs);
    std::printf("one tick + repaint (ms)              %.1f\n", tickMs);
    std::printf("sort by size + paint (ms)            %.0f\n", sorts.bySize);
    std::printf("sort by name + paint (ms)            %.0f\n", sorts.byName);
    std::printf("memory kept for the archive (MB)     %.1f\n", heapShown - heapStart);
    std::printf("peak before opening (MB)             %.1f\n", peakStart);
    std::printf("peak resident memory (MB)            %.1f\n", std::max(peakShown, PeakMegabytes()));

    std::filesystem::remove_all(scratch);
    return 0;
}
