#include "task/year_export.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>

#include "host/engine/archiv_format.h"
#include "host/services/archive_journal.h"
#include "host/services/exceptions.h"
#include "host/services/sha256.h"
#include "task/bag_files.h"
#include "task/bag_staging.h"
#include "task/year_choice.h"

namespace vendrask {

namespace {

namespace fs = std::filesystem;

std::string DateText(std::time_t now) {
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    return text;
}

std::string FolderName(const std::string& dir) {
    fs::path path = fs::path(dir).lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
    return path.filename().string();
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Writes the chosen entries of each archive below dataDir with the engine's extraction.
class TPayloadWriter {
public:
    TPayloadWriter(const TYearExportOptions& options, const TYearChoice& choice, std::string stagingDir)
        : FOptions(options), FStagingDir(std::move(stagingDir)) {
        FProgress.Total = choice.Bytes();
        for (const TYearEntry& entry : choice.Entries) FByArchive[entry.Archive].push_back(&entry);
        FArchives = choice.Archives();
        FProgress.Archives = static_cast<int>(FArchives.size());
    }

    void WriteAll() {
        for (std::size_t i = 0; i < FArchives.size(); ++i) {
            FProgress.Archive = FArchives[i];
            FProgress.ArchiveIndex = static_cast<int>(i);
            if (!Report()) throw Aborted();
            Extract(FArchives[i]);
        }
    }

private:
    static tavik::EOlvex Aborted() {
        return tavik::EOlvex("Der Export wurde abgebrochen; es wurde nichts angelegt.", tavik::TErrorKind::Aborted);
    }

    bool Report() { return !FOptions.OnProgress || FOptions.OnProgress(FProgress); }

    void Extract(const std::string& archive) {
        const std::vector<const TYearEntry*>& entries = FByArchive.at(archive);
        std::vector<int> indexes;
        std::int64_t bytes = 0;
        for (const TYearEntry* entry : entries) {
            indexes.push_back(entry->Index);
            bytes += entry->Size;
        }
        auto engine = tavik::GetArchivFormatClass(tavik::TArchivFormat::Zip)();
        engine->ArchivFile = FOptions.ArchivDir + "/" + archive;
        engine->ExtractDir = FStagingDir + "/data";
        // Reached from the bag's folder without a link on the way; the entries below it likewise.
        engine->ExtractBase = FStagingDir;
        const std::int64_t before = FProgress.Done;
        engine->OnCommandProgress = [this, before](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                                   std::int64_t done, std::int64_t) {
            FProgress.Done = before + done;
            if (!Report()) sender.Abort();
        };
        if (!engine->ExecuteArchivExtract(indexes)) {
            if (engine->LastAborted()) throw Aborted();
            throw tavik::EOlvex("Das Archiv „" + archive + "“ kann nicht vollständig exportiert werden: " +
                                    engine->LastError(),
                                engine->LastErrorKind());
        }
        FProgress.Done = before + bytes;
    }

    const TYearExportOptions& FOptions;
    std::string FStagingDir;
    std::map<std::string, std::vector<const TYearEntry*>> FByArchive;
    std::vector<std::string> FArchives;
    TYearExportProgress FProgress;
};

// The digests of a file as it landed in the bag, checked against its entry.
TFileDigests WrittenDigests(const std::string& stagingDir, const TYearEntry& entry) {
    const TFileDigests digests = DigestsOfFile(stagingDir + "/data/" + entry.Path);
    const bool fits = digests.Size == entry.Size && (!entry.Fingerprint || digests.Sha256 == tavik::HexOf(*entry.Fingerprint));
    if (!fits)
        throw tavik::EOlvex("Die exportierte Datei des Eintrags „" + entry.Name + "“ aus dem Archiv „" + entry.Archive +
                                "“ passt nicht zu ihrem SHA-256-Fingerabdruck; das Archiv wurde womöglich "
                                "während des Exports verändert. Bitte exportieren Sie erneut und lassen Sie das "
                                "Archiv prüfen.",
                            tavik::TErrorKind::DamagedArchive);
    return digests;
}

}  // namespace

std::string NoRecordsOfYear(const std::string& archivDir, int year) {
    return "Im Archivverzeichnis „" + archivDir + "“ gibt es keine archivierten Dateien des Jahres " +
           std::to_string(year) + "; es wurde nichts exportiert.";
}

TYearExportResult ExportYear(const TYearExportOptions& options) {
    TBagStaging staging(options.Target);
    const TYearChoice choice = ChooseYearEntries(options.ArchivDir, options.Year);
    if (choice.Entries.empty()) throw tavik::EOlvex(NoRecordsOfYear(options.ArchivDir, options.Year));

    const std::string data = staging.Dir() + "/data";
    if (::mkdir(data.c_str(), 0750) != 0)
        throw tavik::EOlvex("Das Verzeichnis „" + data + "“ kann nicht angelegt werden.");
    TPayloadWriter(options, choice, staging.Dir()).WriteAll();

    std::vector<TManifestLine> sha256, sha512;
    for (const TYearEntry& entry : choice.Entries) {
        const TFileDigests digests = WrittenDigests(staging.Dir(), entry);
        sha256.push_back({digests.Sha256, "data/" + entry.Path});
        sha512.push_back({digests.Sha512, "data/" + entry.Path});
    }

    TYearExportResult result;
    result.Files = static_cast<int>(choice.Entries.size());
    result.Bytes = choice.Bytes();
    result.Archives = choice.Archives();
    TBagInfo info;
    info.Organization = options.Organization.empty() ? FolderName(options.ArchivDir) : options.Organization;
    info.Date = DateText(options.Now);
    info.Octets = result.Bytes;
    info.Files = result.Files;
    info.Description = "Archivierte Unterlagen des Jahres " + std::to_string(options.Year) + " aus " +
                       fs::absolute(options.ArchivDir).lexically_normal().string() + ", exportiert von vendrask";
    const std::vector<std::pair<std::string, std::string>> tagFiles = {
        {"bagit.txt", kBagDeclaration},
        {"bag-info.txt", BagInfoText(info)},
        {"manifest-sha256.txt", ManifestText(sha256)},
        {"manifest-sha512.txt", ManifestText(sha512)},
    };
    std::vector<TManifestLine> tags;
    for (const auto& [name, content] : tagFiles) {
        WriteBagFile(staging.Dir() + "/" + name, content);
        tags.push_back({DigestsOf(content).Sha256, name});
    }
    const std::string tagManifest = ManifestText(tags);
    WriteBagFile(staging.Dir() + "/tagmanifest-sha256.txt", tagManifest);
    result.TagManifestSha256 = DigestsOf(tagManifest).Sha256;
    staging.Place();
    result.Target = staging.Target();

    // The bag stands; the export deletes nothing, so a journal that cannot take its record
    // does not undo it.
    try {
        tavik::TArchiveJournal journal(options.ArchivDir);
        tavik::TJournalRecord record;
        record.Kind = tavik::journalkind::Exportiert;
        record.Path = result.Target;
        record.Entries = result.Files;
        record.Size = result.Bytes;
        record.Sha256 = result.TagManifestSha256;
        record.Result = "exportiert";
        record.Detail = "Jahr " + std::to_string(options.Year) + " aus " + Joined(result.Archives);
        result.JournalHead = journal.Append({record});
    } catch (const tavik::EOlvex& error) {
        result.JournalFailure = error.what();
    }
    return result;
}

}  // namespace vendrask
