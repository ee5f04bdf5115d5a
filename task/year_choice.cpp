#include "task/year_choice.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "host/engine/extract/entry_name.h"
#include "host/engine/search/archive_search_read.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_name.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/archive_name.h"
#include "host/services/exceptions.h"

namespace vendrask {

namespace {

struct TDirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// A number of decimal digits without its leading zeros, so that longer means larger.
std::string_view Significant(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

// Whether candidate takes the place of chosen as the version of their name.
bool Later(const TYearEntry& candidate, const TYearEntry& chosen) {
    if (candidate.Mtime != chosen.Mtime) return candidate.Mtime > chosen.Mtime;
    if (candidate.Archive != chosen.Archive) return NewerArchive(candidate.Archive, chosen.Archive);
    return candidate.Index > chosen.Index;  // the same name twice in one archive: the later entry
}

}  // namespace

std::int64_t TYearChoice::Bytes() const {
    std::int64_t bytes = 0;
    for (const TYearEntry& entry : Entries) bytes += entry.Size;
    return bytes;
}

std::vector<std::string> TYearChoice::Archives() const {
    std::vector<std::string> archives;
    for (const TYearEntry& entry : Entries)
        if (std::find(archives.begin(), archives.end(), entry.Archive) == archives.end())
            archives.push_back(entry.Archive);
    std::sort(archives.begin(), archives.end(),
              [](const std::string& a, const std::string& b) { return NewerArchive(b, a); });
    return archives;
}

bool NewerArchive(const std::string& a, const std::string& b) {
    const auto left = tavik::ParseArchiveName(a);
    const auto right = tavik::ParseArchiveName(b);
    if (!left || !right) return a > b;
    if (left->day != right->day) return left->day > right->day;
    const std::string_view x = Significant(left->number), y = Significant(right->number);
    if (x.size() != y.size()) return x.size() > y.size();
    return x > y;
}

std::vector<std::string> YearArchivesIn(const std::string& archivDir) {
    const std::unique_ptr<DIR, TDirClose> dir(::opendir(archivDir.c_str()));
    if (!dir) {
        const int error = errno;
        throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht gelesen werden: " +
                                std::strerror(error) + ". Bitte prüfen Sie Namen und Rechte des Verzeichnisses.",
                            error == ENOENT ? tavik::TErrorKind::InputMissing : tavik::TErrorKind::NoRights);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (tavik::IsArchiveName(entry->d_name)) names.emplace_back(entry->d_name);
        errno = 0;
    }
    if (errno != 0)
        throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht vollständig gelesen werden: " +
                            std::strerror(errno) + ".");
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NewerArchive(b, a); });
    return names;
}

TYearChoice ChooseAmong(const std::vector<std::pair<TYearEntry, int>>& entriesWithYear, int year) {
    std::map<std::string, TYearEntry> latest;
    for (const auto& [entry, entryYear] : entriesWithYear) {
        if (entryYear != year) continue;
        const auto [at, added] = latest.try_emplace(entry.Path, entry);
        if (!added && Later(entry, at->second)) at->second = entry;
    }
    TYearChoice choice;
    choice.Year = year;
    for (auto& [path, entry] : latest) choice.Entries.push_back(std::move(entry));
    return choice;
}

TYearChoice ChooseYearEntries(const std::string& archivDir, int year) {
    std::vector<std::pair<TYearEntry, int>> found;
    tavik::search::TDirectoryReader reader;
    for (const std::string& archive : YearArchivesIn(archivDir)) {
        tavik::search::TSearchArchive source;
        source.path = archivDir + "/" + archive;
        reader.Read(source, [&](std::uint64_t number, const tavik::zip::TCentralView& header) {
            const int entryYear = tavik::ZipEntryBerlinYear(header);
            if (entryYear != year) return;
            TYearEntry entry;
            entry.Archive = archive;
            entry.Index = static_cast<int>(number);
            entry.Name = tavik::ZipEntryName(header);
            // Directories and links hold no record of their own; a file's folders come with it.
            const tavik::TZipEntryShape shape = tavik::ZipEntryShapeOf(header, entry.Name);
            if (shape.directory || shape.symlink) return;
            std::vector<std::string> parts;
            const tavik::TReason refused = tavik::RefusedEntryName(entry.Name, parts, 0, shape.madeOnUnix);
            if (!refused.empty())
                throw tavik::EOlvex("Das Archiv „" + archive + "“ enthält den Eintrag „" + entry.Name +
                                        "“, der nicht exportiert werden darf: " + refused.Text +
                                        " Der Jahrgang wird nur vollständig exportiert; bitte lassen Sie das Archiv "
                                        "prüfen.",
                                    refused.Kind);
            for (const std::string& part : parts) entry.Path += (entry.Path.empty() ? "" : "/") + part;
            entry.Size = static_cast<std::int64_t>(header.uncompressedSize);
            entry.Mtime = tavik::ZipEntryTime(header);
            entry.Fingerprint = tavik::zip::FingerprintIn(header.extra, header.wellFormedExtra);
            found.emplace_back(std::move(entry), entryYear);
        });
    }
    return ChooseAmong(found, year);
}

}  // namespace vendrask
