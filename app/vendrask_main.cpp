// vendrask: the archive manager of Olvex. With the switches A and/or L it scans the host
// installation, archives and deletes what it found and ends (status 0 success, 1 something
// failed, 2 no usable host installation); without them it opens the main window.
#include "app/startup.h"
#include "app/usage_texts.h"
#include "host/services/local_zone.h"

int main(int argc, char** argv) {
    if (vendrask::AnswerInfoRequest(vendrask::TProgram::Vendrask, argc, argv)) return 0;
    // The window lists and the nightly run packs many entries, each with its local time.
    tavik::KeepLocalZoneRead();
    return vendrask::RunStartup(tavik::ParametersFrom(argc, argv));
}
