// vendrask: the archive manager of Olvex. With the switches A and/or L it scans the host
// installation, archives and deletes what it found and ends (status 0 success, 1 something
// failed, 2 no usable host installation); without them it opens the main window.
#include "app/startup.h"
#include "app/usage_texts.h"

int main(int argc, char** argv) {
    if (vendrask::AnswerInfoRequest(vendrask::TProgram::Vendrask, argc, argv)) return 0;
    return vendrask::RunStartup(tavik::ParametersFrom(argc, argv));
}
