#include "app/archiv_export_command.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"
#include "host/services/formatting.h"
#include "task/year_export.h"

namespace vendrask {

namespace {

std::string Plural(std::int64_t n, const char* one, const char* many) {
    return tavik::tavik_FormatGrouped(n) + " " + (n == 1 ? one : many);
}

// One line per archive on standard error, and on a terminal the share done behind it.
class TExportProgress {
public:
    explicit TExportProgress(const volatile std::sig_atomic_t& interrupted)
        : FInterrupted(interrupted), FTerminal(::isatty(STDERR_FILENO) == 1) {}
    TExportProgress(const TExportProgress&) = delete;
    TExportProgress& operator=(const TExportProgress&) = delete;
    ~TExportProgress() { EndLine(); }

    bool Show(const TYearExportProgress& progress) {
        if (progress.Archive != FArchive) {
            EndLine();
            FArchive = progress.Archive;
            std::fprintf(stderr, "Exportiere aus %s (%d von %d)", FArchive.c_str(), progress.ArchiveIndex + 1,
                         progress.Archives);
            FOpen = true;
            FPercent = -1;
        }
        const int percent = progress.Total > 0 ? static_cast<int>(progress.Done * 100 / progress.Total) : 100;
        if (FTerminal && percent != FPercent) {
            std::fprintf(stderr, "\rExportiere aus %s (%d von %d) %3d %%", FArchive.c_str(), progress.ArchiveIndex + 1,
                         progress.Archives, percent);
            FPercent = percent;
        }
        return FInterrupted == 0;
    }

    void EndLine() {
        if (FOpen) std::fputc('\n', stderr);
        FOpen = false;
    }

private:
    const volatile std::sig_atomic_t& FInterrupted;
    bool FTerminal;
    bool FOpen = false;
    int FPercent = -1;
    std::string FArchive;
};

}  // namespace

int RunExportCommand(const std::vector<std::string>& args, const char* usageText,
                     const volatile std::sig_atomic_t& interrupted) {
    std::optional<int> year;
    std::optional<std::string> target, given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--year") {
            const auto value = i + 1 < args.size() && args[i + 1].size() == 4 ? tavik::DigitsValue(args[i + 1], 9999)
                                                                               : std::nullopt;
            if (!value || *value < 1000 || year)
                return ArchivUsage("--year erwartet genau ein Jahr mit vier Ziffern, etwa 2024.", usageText);
            year = static_cast<int>(*value);
            ++i;
        } else if (!target && !(arg.size() > 1 && arg[0] == '-')) {
            target = arg;
        } else if (const std::string problem = TakeArchivDir(arg, given, "export"); !problem.empty()) {
            return ArchivUsage(problem, usageText);
        }
    }
    if (!year) return ArchivUsage("export erwartet das Jahr mit --year JAHR.", usageText);
    if (!target || target->empty()) return ArchivUsage("export erwartet ein Ziel (ein neues Verzeichnis).", usageText);
    const std::optional<std::string> dir = ArchivDirOf(given, usageText);
    if (!dir) return kArchivUsage;

    TYearExportOptions options;
    options.ArchivDir = *dir;
    options.Year = *year;
    options.Target = *target;
    options.Organization = ClientName();
    options.Now = std::time(nullptr);
    try {
        TYearExportResult result;
        {
            TExportProgress progress(interrupted);
            options.OnProgress = [&progress](const TYearExportProgress& step) { return progress.Show(step); };
            result = ExportYear(options);
        }
        std::cout << Plural(result.Files, "Datei", "Dateien") << " (" << tavik::tavik_FormatByteSize(result.Bytes)
                  << ") des Jahres " << *year << " aus " << Plural(static_cast<std::int64_t>(result.Archives.size()),
                                                                   "Archiv", "Archiven")
                  << " nach „" << result.Target << "“ exportiert (BagIt, SHA-256 und SHA-512).\n";
        std::cout << "SHA-256 von tagmanifest-sha256.txt: " << result.TagManifestSha256 << "\n";
        if (result.JournalFailure.empty()) {
            std::cout << "Journal: " << result.JournalHead << "\n";
        } else {
            std::cerr << "vendrask-archiv: Der Export ist vollständig, wurde aber nicht im Journal verzeichnet: "
                      << result.JournalFailure << "\n";
        }
        return kArchivOk;
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
