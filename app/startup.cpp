#include "app/startup.h"

#include <cstdio>
#include <memory>

#include "app/run_summary.h"
#include "host/services/exceptions.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"

#ifdef VENDRASK_WITH_UI
#include "ui/application.h"
#endif

namespace vendrask {

using namespace tavik;

namespace {

constexpr const char* kProgramId = "VENDRASK";
constexpr const char* kContext = "vendrask";

void RaisePending() { TavikInfo().FehlerRaise(kContext, 0, "", "", 0, 0); }

}  // namespace

int RunStartup(const TParameters& parameters) {
    const bool automatic = FindCmdLineSwitch(parameters, "A") || FindCmdLineSwitch(parameters, "L");
    std::unique_ptr<TdmOlvexArchiv> module;
    bool noInstallation = false;
#ifdef VENDRASK_WITH_UI
    std::unique_ptr<TApplication> application;
    if (!automatic) application = TApplication::Create(parameters);
#endif
    try {
        if (FindCmdLineSwitch(parameters, "AUTO")) {
            TavikProgramm().Options().Unattended = true;
            TavikProgramm().SetSilentMode(true);
        }
        TavikProgramm().Init(kProgramId, automatic ? TEnumProzessTypen::ptBatch : TEnumProzessTypen::ptDialog,
                             TPVR_InstanceCount::icAny, 0, true);
        module = std::make_unique<TdmOlvexArchiv>(parameters);
        RaisePending();
        if (module->AutoArchivieren || module->AutoDelete) {
            module->ExploreSystem();
            if (module->AutoArchivieren) module->AutoArchExecuteAll();
            if (module->AutoDelete) module->AutoDeleteExecuteAll();
            if (!TavikProgramm().SilentMode()) PrintRunSummary(*module);
            if (RunProfileWanted()) std::fprintf(stderr, "Zeitprofil:\n%s", module->Profile().Text().c_str());
        } else {
#ifdef VENDRASK_WITH_UI
            if (!application)
                throw EOlvex("Die Archivverwaltung braucht eine grafische Oberfläche, es ist aber keine "
                             "Anzeige verfügbar (DISPLAY). Für den unbeaufsichtigten Betrieb die Schalter "
                             "-A und/oder -L angeben.");
            application->CreateWindows();
#else
            throw EOlvex("Diese Ausgabe der Archivverwaltung hat keine Fensteroberfläche. Für den "
                         "unbeaufsichtigten Betrieb die Schalter -A und/oder -L angeben.");
#endif
        }
    } catch (const EHostInstallation& error) {
        noInstallation = true;
        TavikProgramm().ShowException(error, false);
    } catch (const std::exception& error) {
        TavikProgramm().ShowException(error, false);
    }

    int status = kExitOk;
#ifdef VENDRASK_WITH_UI
    if (application && application->HasMainWindow()) status = application->Exec();
#endif
    if (noInstallation) return kExitNoInstallation;
    if (automatic) return TavikInfo().FailureCount() > 0 ? kExitFailed : status;
#ifdef VENDRASK_WITH_UI
    if (!application || !application->HasMainWindow()) return kExitNoInstallation;
    return status;
#else
    return kExitNoInstallation;
#endif
}

}  // namespace vendrask
