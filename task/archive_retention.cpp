#include "task/archive_retention.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_entry.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "task/listed_name.h"

namespace vendrask {

namespace zr = tavik::zip;

TArchiveRetention RetentionOfArchive(const std::string& path, const TRetentionRules& rules) {
    TArchiveRetention retention;
    const tavik::TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.Get(), &info) != 0) {
        retention.Problem = "Das Archiv kann nicht gelesen werden: " + tavik::SystemErrorText(errno) + ".";
        return retention;
    }
    if (!S_ISREG(info.st_mode)) {
        retention.Problem = "Es ist keine gewöhnliche Datei.";
        return retention;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    zr::TDescriptorReader reader(fd.Get(), size);
    zr::TZipDirectory directory;
    try {
        directory.Read(reader, {0, size});
    } catch (const zr::TRecordError& error) {
        retention.Problem = std::string("Sein Verzeichnis der Einträge ist nicht lesbar: ") + error.what();
        return retention;
    }
    retention.Readable = true;
    for (const auto& entry : directory.Entries()) {
        const std::string name = zr::EntryName(entry.header);
        if (!name.empty() && name.back() == '/') continue;
        const int year = tavik::ZipEntryBerlinYear(entry.header);
        const TRetentionClass& decides = rules.ClassOf(name);
        ++retention.Entries;
        if (year > retention.NewestYear) retention.NewestYear = year;
        if (decides.Years == 0) continue;
        const int until = year + decides.Years;
        if (until > retention.UntilYear) {
            retention.UntilYear = until;
            retention.Deciding = decides;
            // Shown in summaries and notes: a newline or tab in a name starts no line of its own.
            retention.DecidingEntry = ListedName(name) + " von " + std::to_string(year);
        }
    }
    return retention;
}

std::string KeptUntilText(int year) { return "31.12." + std::to_string(year); }

std::string ClassText(const TRetentionClass& retentionClass) {
    const std::string years = std::to_string(retentionClass.Years) + (retentionClass.Years == 1 ? " Jahr" : " Jahre");
    if (retentionClass.Description.empty()) return "Zeile " + std::to_string(retentionClass.Line) + ", " + years;
    return retentionClass.Description + ", " + years;
}

std::string KeptReason(const TArchiveRetention& retention) {
    if (!retention.Readable)
        return "aufzubewahren, Frist nicht bestimmbar: " + retention.Problem +
               " Bitte das Archiv prüfen (vendrask-archiv verify --complete).";
    return "aufzubewahren bis " + KeptUntilText(retention.UntilYear) + " (" + ClassText(retention.Deciding) + ": " +
           retention.DecidingEntry + ")";
}

}  // namespace vendrask
