#include "app/archiv_find_command.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/archiv_status.h"
#include "task/listed_name.h"
#include "host/engine/search/archive_search.h"
#include "host/services/exceptions.h"

namespace vendrask {

namespace {

void PrintHit(const tavik::search::TSearchHit& hit) {
    const tavik::TDateParts& p = hit.modified;
    const std::string archive = ListedName(hit.archive);
    const std::string name = ListedName(hit.name);
    std::printf("%s\t%llu\t%llu\t%04d-%02d-%02d %02d:%02d:%02d\t%s\n", archive.c_str(),
                static_cast<unsigned long long>(hit.number), static_cast<unsigned long long>(hit.size), p.Year,
                p.Month, p.Day, p.Hour, p.Minute, p.Second, name.c_str());
}

}  // namespace

int RunFindCommand(const std::vector<std::string>& args, const char* usageText) {
    std::string dir;
    bool dirGiven = false;
    std::vector<std::string> terms;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--dir") {
            if (i + 1 >= args.size()) return ArchivUsage("--dir erwartet ein Verzeichnis.", usageText);
            dir = args[++i];
            dirGiven = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return ArchivUsage("Unbekannte Option „" + arg + "“ für find.", usageText);
        } else {
            terms.push_back(arg);
        }
    }
    if (terms.empty()) return ArchivUsage("find erwartet mindestens ein Muster oder Wort.", usageText);
    for (const std::string& term : terms)
        if (term.empty()) return ArchivUsage("Ein Suchbegriff ist leer; bitte ein Wort oder ein Muster angeben.", usageText);
    if (dirGiven && dir.empty()) return ArchivUsage("--dir erwartet ein Verzeichnis.", usageText);

    if (!dirGiven) {
        const char* root = std::getenv("OLVEX_ROOT");
        if (root == nullptr || *root == '\0')
            return ArchivUsage("Kein Verzeichnis zum Durchsuchen: bitte --dir VERZ angeben oder OLVEX_ROOT auf die "
                         "Olvex-Installation setzen.",
                         usageText);
        try {
            dir = tavik::search::DefaultSearchDirectory();
        } catch (const std::exception& error) {
            std::cerr << "vendrask-archiv: " << error.what() << "\n";
            return kArchivUsage;
        }
    }

    tavik::search::TSearchEvents events;
    events.OnHit = PrintHit;
    events.OnFailure = [](const std::string&, const std::string& reason) {
        std::fflush(stdout);
        std::cerr << "vendrask-archiv: " << reason << "\n";
    };
    try {
        const tavik::search::TSearchResult result = tavik::search::SearchArchives(dir, terms, events);
        std::fflush(stdout);
        return result.failures > 0 ? kArchivFailed : kArchivOk;
    } catch (const tavik::EOlvex& error) {
        std::fflush(stdout);
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
