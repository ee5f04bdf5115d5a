// olvexhost: sets up host installations for vendrask and explains its scan.
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "app/olvexhost_demo.h"
#include "app/olvexhost_explain.h"
#include "app/usage_texts.h"
#include "host/services/exceptions.h"
#include "host/services/tavik_programm.h"
#include "host/services/host_setup.h"

namespace {

constexpr const char* kUsage =
    "Aufruf:\n"
    "  olvexhost init VERZEICHNIS [MANDANT]   neue, leere Olvex-Installation anlegen\n"
    "  olvexhost demo VERZEICHNIS             Olvex-Installation mit Beispieldaten anlegen\n"
    "  olvexhost candidates                   Kandidaten der Installation von OLVEX_ROOT zeigen\n"
    "  olvexhost explain DATEI                zeigen, was die Suche aus einer Datei macht\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (vendrask::AnswerInfoRequest(vendrask::TProgram::Olvexhost, argc, argv)) return 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    try {
        if (args[0] == "init" && (args.size() == 2 || args.size() == 3)) {
            tavik::THostSetup host(args[1], args.size() == 3 ? args[2] : "Mandant 1");
            std::printf("Olvex-Installation in %s angelegt.\n", host.Root().c_str());
            return 0;
        }
        if (args[0] == "demo" && args.size() == 2) {
            CreateDemoInstallation(args[1], std::time(nullptr));
            std::printf("Olvex-Demo-Installation in %s angelegt.\n", args[1].c_str());
            return 0;
        }
        if ((args[0] == "candidates" && args.size() == 1) || (args[0] == "explain" && args.size() == 2)) {
            tavik::TavikProgramm().Init("VENDRASK", tavik::TEnumProzessTypen::ptDialog, tavik::TPVR_InstanceCount::icAny,
                                        0, true);
            return args[0] == "candidates" ? PrintCandidates() : ExplainFile(args[1]);
        }
    } catch (const tavik::EHostInstallation& error) {
        std::fprintf(stderr, "olvexhost: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "olvexhost: %s\n", error.what());
        return 1;
    }
    return Usage();
}
