#pragma once
// What the window benchmarks measure: elapsed milliseconds, the heap in use and the peak
// resident memory of the process, and how long sorting a window's list takes.
#include <malloc.h>
#include <sys/resource.h>

#include <QtCore/qnamespace.h>

#include <chrono>

namespace benchmeasure {

using Clock = std::chrono::steady_clock;

inline double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Milliseconds that action takes.
template <class Action>
double TimedMilliseconds(Action&& action) {
    const Clock::time_point started = Clock::now();
    action();
    return Milliseconds(started);
}

struct TSortTimes {
    double bySize = 0;
    double byName = 0;
};

// Sorting a window's list by size (column 1, descending) and by name (column 0), each with the
// window painted after it.
template <class View, class Window>
TSortTimes TimeSorts(View& view, Window& window) {
    TSortTimes times;
    times.bySize = TimedMilliseconds([&] {
        view.SortByColumn(1, Qt::DescendingOrder);
        window.repaint();
    });
    times.byName = TimedMilliseconds([&] {
        view.SortByColumn(0, Qt::AscendingOrder);
        window.repaint();
    });
    return times;
}

inline double HeapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

inline double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace benchmeasure
