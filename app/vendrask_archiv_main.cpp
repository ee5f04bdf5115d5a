// vendrask-archiv: the workbench's archive commands on the command line.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/archiv_console.h"
#include "app/archiv_export_command.h"
#include "app/archiv_find_command.h"
#include "app/archiv_journal_command.h"
#include "app/archiv_hold_command.h"
#include "app/archiv_procedure_command.h"
#include "app/archiv_report_command.h"
#include "app/archiv_retention_command.h"
#include "app/archiv_verify_all_command.h"
#include "app/archiv_restore_command.h"
#include "app/archiv_status.h"
#include "task/listed_name.h"
#include "app/usage_texts.h"
#include "host/engine/archiv_format.h"
#include "host/engine/archiv_open.h"
#include "host/services/date_time.h"
#include "host/services/local_zone.h"
#include "host/services/paths.h"

namespace {

// Set by Ctrl+C; the progress events pass it on to the engine as Abort().
volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

constexpr int kOk = vendrask::kArchivOk;
constexpr int kFailed = vendrask::kArchivFailed;
constexpr int kUsage = vendrask::kArchivUsage;

const char* const kUsageText =
    "Aufruf:\n"
    "  vendrask-archiv list [--no-limits] ARCHIV     Inhalt anzeigen\n"
    "  vendrask-archiv verify [--complete] [--password-file DATEI] [--no-limits] ARCHIV\n"
    "                                                Archiv prüfen (einfach oder vollständig)\n"
    "  vendrask-archiv extract [--overwrite] [--password-file DATEI] [--no-limits] ARCHIV ZIELVERZ [NR ...]\n"
    "                                                alle oder die genannten Einträge entpacken; vorhandene\n"
    "                                                andere Dateien nur mit --overwrite ersetzen\n"
    "  --password-file DATEI: das Kennwort verschlüsselter Einträge steht in der ersten Zeile von DATEI\n"
    "  --no-limits: die Schutzgrenzen beim Lesen (Arbeitsspeicher, Rechenzeit, Zahl der Einträge) aufheben,\n"
    "               nur für Archive aus vertrauenswürdiger Quelle (list, verify, extract, restore)\n"
    "  vendrask-archiv pack ARCHIV PFAD ...          Dateien und Verzeichnisse in ein neues Archiv packen\n"
    "  vendrask-archiv add ARCHIV PFAD ...           Dateien und Verzeichnisse dem Archiv hinzufügen\n"
    "  vendrask-archiv span ARCHIV ZIELVERZ GRÖSSE   Archiv in Teile von GRÖSSE Bytes aufteilen (oder auto)\n"
    "  vendrask-archiv merge ARCHIV ZIELVERZ         Teile eines Archivs zusammenfügen\n"
    "  vendrask-archiv find [--dir VERZ] MUSTER ...  alle Archive in VERZ (sonst ARCHIV) nach Namen durchsuchen\n"
    "  vendrask-archiv restore [--to VERZ] [--overwrite] [--no-limits] ARCHIV NR ...\n"
    "                                                Einträge an ihren Platz in der Installation (oder nach\n"
    "                                                VERZ) zurücklegen\n"
    "  vendrask-archiv journal [--from DATUM] [--to DATUM] [ARCHIVVERZEICHNIS]\n"
    "                                                Journal des Archivverzeichnisses (sonst ARCHIV) zeigen,\n"
    "                                                DATUM als JJJJ-MM-TT, beide Tage eingeschlossen\n"
    "  vendrask-archiv journal --check [--head KOPF ...] [ARCHIVVERZEICHNIS]\n"
    "                                                Verkettung des Journals und die Journalköpfe in den\n"
    "                                                Archiven prüfen; KOPF (aus einer Zusammenfassung) muss\n"
    "                                                darin vorkommen\n"
    "  vendrask-archiv verify-all [--max-duration MINUTEN] [ARCHIVVERZEICHNIS]\n"
    "                                                die Archive vollständig prüfen, die am längsten nicht\n"
    "                                                geprüften zuerst, bis die Zeit um ist; Status 1, wenn\n"
    "                                                eines fehlerhaft oder überfällig ist\n"
    "  vendrask-archiv report [--csv] [ARCHIVVERZEICHNIS]\n"
    "                                                Archivbestand mit letzter Prüfung, fehlenden und dem\n"
    "                                                Journal unbekannten Archiven\n"
    "  vendrask-archiv retention [ARCHIVVERZEICHNIS]  Aufbewahrungsfrist jedes Archivs und was der nächste\n"
    "                                                Löschlauf (-L) damit täte\n"
    "  vendrask-archiv hold [on --reason GRUND | off [--reason GRUND]] [ARCHIVVERZEICHNIS]\n"
    "                                                Löschsperre setzen, aufheben oder zeigen: solange sie\n"
    "                                                besteht, wird in ARCHIV nichts gelöscht\n"
    "  vendrask-archiv procedure [ARCHIVVERZEICHNIS]  wie in dieser Installation archiviert wird\n"
    "                                                (für die Verfahrensdokumentation)\n"
    "  vendrask-archiv export --year JAHR ZIEL [ARCHIVVERZEICHNIS]\n"
    "                                                die archivierten Dateien des Jahres (letzter Stand je\n"
    "                                                Name) als BagIt-Paket in das neue Verzeichnis ZIEL\n";

int Usage(const std::string& problem) { return vendrask::ArchivUsage(problem, kUsageText); }

using vendrask::TConsole;

int Result(bool ok, const tavik::TArchivFormatAbstract& archiv, const TConsole& console, const std::string& success) {
    if (ok) {
        if (!success.empty()) std::cout << success << "\n";
        return kOk;
    }
    const std::string failure = console.Failure(archiv.LastError());
    if (!failure.empty()) std::cerr << "vendrask-archiv: " << failure << "\n";
    return kFailed;
}

std::unique_ptr<tavik::TArchivFormatAbstract> Open(const std::string& name, bool noLimits = false) {
    tavik::TArchivRefusal refusal;
    // Ctrl+C reaches the check that opening runs as well (format 1 may take long).
    const auto onProgress = [](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t, std::int64_t) {
        if (interrupted) sender.Abort();
    };
    std::unique_ptr<tavik::TArchivFormatAbstract> archiv = tavik::OpenArchiv(name, &refusal, onProgress, noLimits);
    if (interrupted) {
        std::cerr << "vendrask-archiv: Der Vorgang wurde abgebrochen.\n";
        return nullptr;
    }
    if (archiv) return archiv;
    if (!refusal.Reason.empty())
        std::cerr << "vendrask-archiv: " << refusal.Reason << "\n";
    else
        std::cerr << "vendrask-archiv: Die Datei „" << name
                  << "“ scheint defekt oder es handelt sich nicht um eine gültige Archivdatei.\n";
    return archiv;
}

// The password is read from a file, never taken from the command line, where every user of the
// machine could see it. Empty without the switch; false (after a message) when it is unusable.
bool ReadPasswordFile(const std::string& path, std::string& password) {
    std::ifstream file(path, std::ios::binary);
    if (!file || !std::getline(file, password)) {
        std::cerr << "vendrask-archiv: Die Kennwortdatei „" << path
                  << "“ kann nicht gelesen werden. Bitte prüfen Sie Namen und Rechte der Datei.\n";
        return false;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) {
        std::cerr << "vendrask-archiv: Die erste Zeile der Kennwortdatei „" << path
                  << "“ ist leer. Bitte schreiben Sie das Kennwort in die erste Zeile.\n";
        return false;
    }
    return true;
}

// Takes "--password-file DATEI" out of args. False on wrong usage (with problem set).
bool TakePasswordFile(std::vector<std::string>& args, std::string& path, std::string& problem) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--password-file") continue;
        if (i + 1 >= args.size() || !path.empty()) {
            problem = "--password-file erwartet genau eine Kennwortdatei.";
            return false;
        }
        path = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
    }
    return true;
}

// Takes every flag out of args; whether there was one.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
    const auto end = std::remove(args.begin(), args.end(), flag);
    const bool found = end != args.end();
    args.erase(end, args.end());
    return found;
}

bool ParseNumber(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end != nullptr && *end == '\0';
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("");
    const std::string& command = args[0];

    if (command == "find") return vendrask::RunFindCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "journal") return vendrask::RunJournalCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "verify-all") return vendrask::RunVerifyAllCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "retention") return vendrask::RunRetentionCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "procedure") return vendrask::RunProcedureCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "hold") return vendrask::RunHoldCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "report") return vendrask::RunReportCommand({args.begin() + 1, args.end()}, kUsageText);
    if (command == "export")
        return vendrask::RunExportCommand({args.begin() + 1, args.end()}, kUsageText, interrupted);
    if (command == "restore")
        return vendrask::RunRestoreCommand({args.begin() + 1, args.end()}, kUsageText, interrupted);

    std::vector<std::string> options(args.begin() + 1, args.end());
    const bool noLimits = TakeFlag(options, "--no-limits");
    if (noLimits && command != "list" && command != "verify" && command != "extract")
        return Usage("--no-limits gilt nur für list, verify, extract und restore.");

    if (command == "list") {
        if (options.size() != 1) return Usage("list erwartet genau ein Archiv.");
        auto archiv = Open(options[0], noLimits);
        if (!archiv) return kFailed;
        TConsole console(*archiv, interrupted);
        // Each entry is written as it is read, so that a list of millions of entries needs no
        // more memory than one; the lines go out in blocks. A list that fails on damage still
        // shows the entries read before it.
        std::string lines;
        constexpr std::size_t kBlock = 64 * 1024;
        const auto write = [&lines] {
            if (std::cout) std::cout.write(lines.data(), static_cast<std::streamsize>(lines.size()));
            lines.clear();
        };
        const bool listed = archiv->ExecuteArchivListEach([&](std::int64_t i, const tavik::TFileInfoItem& item) {
            if (!std::cout) return;
            const tavik::TDateParts p = tavik::DecodeDateTime(item.DateTime);
            char when[32];
            std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                          p.Minute, p.Second);
            char number[24];
            lines.append(number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, i).ptr - number));
            lines += '\t';
            lines.append(number,
                         static_cast<std::size_t>(std::to_chars(number, number + sizeof number, item.Size).ptr - number));
            lines += '\t';
            lines += when;
            lines += '\t';
            std::string name = tavik::ConcatPathNames(item.RelDir, item.FileName);
            if ((item.Attributes & tavik::faDirectory) != 0) name += "/";
            lines += vendrask::ListedName(name);
            lines += '\n';
            if (lines.size() >= kBlock) write();
        });
        write();
        if (!std::cout.flush()) {
            std::cerr << "vendrask-archiv: Das Inhaltsverzeichnis kann nicht auf die Standardausgabe geschrieben "
                         "werden (ist der Datenträger voll oder die Ausgabe geschlossen?).\n";
            return kFailed;
        }
        return listed ? kOk : Result(false, *archiv, console, "");
    }

    std::string passwordFile, problem;
    if ((command == "verify" || command == "extract") && !TakePasswordFile(options, passwordFile, problem))
        return Usage(problem);
    std::string password;
    if (!passwordFile.empty() && !ReadPasswordFile(passwordFile, password)) return kFailed;

    if (command == "verify") {
        bool complete = false;
        std::vector<std::string> rest;
        for (const std::string& arg : options) {
            if (arg == "--complete") complete = true;
            else rest.push_back(arg);
        }
        if (rest.size() != 1) return Usage("verify erwartet genau ein Archiv.");
        auto archiv = Open(rest[0], noLimits);
        if (!archiv) return kFailed;
        archiv->Password = password;
        TConsole console(*archiv, interrupted);
        const bool ok = archiv->ExecuteArchivVerify(complete ? tavik::TArchivVerifyMode::Complete
                                                             : tavik::TArchivVerifyMode::Simple);
        const int status = Result(ok, *archiv, console, "Die Archivdatei wurde erfolgreich geprüft.");
        if (ok && !archiv->VerifySummary().empty()) std::cout << archiv->VerifySummary() << "\n";
        return status;
    }

    if (command == "extract") {
        bool overwrite = false;
        std::vector<std::string> rest;
        for (const std::string& arg : options) {
            if (arg == "--overwrite") overwrite = true;
            else rest.push_back(arg);
        }
        if (rest.size() < 2) return Usage("extract erwartet ein Archiv und ein Zielverzeichnis.");
        std::vector<int> indexes;
        for (std::size_t i = 2; i < rest.size(); ++i) {
            long long value = 0;
            if (!ParseNumber(rest[i], value) || value < 0 || value > INT32_MAX)
                return Usage("„" + rest[i] + "“ ist keine gültige Eintragsnummer.");
            indexes.push_back(static_cast<int>(value));
        }
        auto archiv = Open(rest[0], noLimits);
        if (!archiv) return kFailed;
        TConsole console(*archiv, interrupted);
        archiv->ExtractDir = rest[1];
        archiv->Password = password;
        // Without the switch no handler: a different file already there is an item error.
        if (overwrite)
            archiv->OnConflict = [](tavik::TArchivFormatAbstract&, const std::string&) {
                return tavik::TArchivConflictAnswer::YesAll;
            };
        const bool ok = indexes.empty() ? archiv->ExecuteArchivExtract() : archiv->ExecuteArchivExtract(indexes);
        if (!ok && !overwrite && console.Conflicts() > 0)
            std::cerr << "vendrask-archiv: Vorhandene andere Dateien werden nur mit --overwrite ersetzt.\n";
        // The success text only when every file was written; otherwise what was, and (below) why
        // not the rest. An aborted command says only that.
        const std::string summary = archiv->ExtractSummary();
        if (summary.empty()) return Result(ok, *archiv, console, "Daten wurden erfolgreich entpackt.");
        if (ok) {
            std::cout << summary << "\n";
            return kOk;
        }
        if (archiv->LastAborted()) return Result(ok, *archiv, console, "");
        std::cerr << "vendrask-archiv: " << summary << "\n";
        // The failed items stand above, one by one, and the summary counts them.
        if (console.OnlyItemsFailed(archiv->LastError())) return kFailed;
        return Result(ok, *archiv, console, "");
    }

    if (command == "pack" || command == "add") {
        if (args.size() < 3) return Usage(command + " erwartet ein Archiv und mindestens einen Pfad.");
        const bool add = command == "add";
        std::unique_ptr<tavik::TArchivFormatAbstract> archiv;
        if (add && ::access(args[1].c_str(), F_OK) == 0) {
            archiv = Open(args[1]);
            if (!archiv) return kFailed;
        } else {
            archiv = tavik::GetArchivFormatClass(tavik::TArchivFormat::Zip)();
            archiv->ArchivFile = args[1];
        }
        TConsole console(*archiv, interrupted);
        archiv->FileItemClear();
        for (std::size_t i = 2; i < args.size(); ++i) archiv->FileItemAdd(args[i]);
        return Result(archiv->ExecuteFilesAdd(add), *archiv, console, "Daten wurden erfolgreich gepackt.");
    }

    if (command == "span") {
        if (args.size() != 4) return Usage("span erwartet ein Archiv, ein Zielverzeichnis und eine Größe.");
        long long size = 0;
        if (args[3] == "auto") size = -1;
        else if (!ParseNumber(args[3], size) || size < 0)
            return Usage("„" + args[3] + "“ ist keine gültige Größe (Bytes oder auto).");
        auto archiv = Open(args[1]);
        if (!archiv) return kFailed;
        TConsole console(*archiv, interrupted);
        return Result(archiv->Span(args[1], args[2], size), *archiv, console, "Die Archivdatei wurde aufgeteilt.");
    }

    if (command == "merge") {
        if (args.size() != 3) return Usage("merge erwartet ein Archiv und ein Zielverzeichnis.");
        auto archiv = Open(args[1]);
        if (!archiv) return kFailed;
        TConsole console(*archiv, interrupted);
        return Result(archiv->Merge(args[1], args[2]), *archiv, console, "Die Archivdatei wurde zusammengefügt.");
    }

    return Usage("Unbekannter Befehl „" + command + "“.");
}

}  // namespace

int main(int argc, char** argv) {
    if (vendrask::AnswerInfoRequest(vendrask::TProgram::VendraskArchiv, argc, argv)) return 0;
    tavik::KeepLocalZoneRead();
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "vendrask-archiv: Unerwarteter Fehler: " << e.what() << "\n";
        return kFailed;
    }
}
