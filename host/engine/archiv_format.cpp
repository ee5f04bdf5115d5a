#include "host/engine/archiv_format.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "host/engine/other/other_format.h"
#include "host/engine/pack/pack_plan.h"
#include "host/engine/zip/zip_format.h"

namespace tavik {

void TArchivFormatAbstract::FileItemAdd(const std::string& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) full = path;
    full = full.lexically_normal();
    if (!full.has_filename() && full.has_parent_path() && full != full.root_path()) full = full.parent_path();
    TFileInfoItem item;
    item.FileName = full.filename().string();
    item.AbsDir = full.parent_path().string();
    struct stat st {};
    // Whether it is a directory is decided now; what lies below it when the archive is written.
    if (::lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) item.Attributes = faDirectory | faWholeTree;
    FFileItems.Add(std::move(item));
}

bool TArchivFormatAbstract::ExecuteArchivListEach(const TListEntryEvent& each) {
    const bool listed = ExecuteArchivList();
    for (int i = 0; i < GetArchivItemsCount(); ++i) each(i, GetArchivItem(i));
    return listed;
}

std::string TArchivFormatAbstract::ExtractSummary() const {
    const TExtractCounts& c = FExtractCounts;
    if (c.Extracted() == c.Files) return {};
    std::string text = std::to_string(c.Extracted()) + " von " + std::to_string(c.Files) + " Dateien entpackt";
    if (c.Kept > 0)
        text += "; " + std::to_string(c.Kept) +
                (c.Kept == 1 ? " vorhandene Datei wurde" : " vorhandene Dateien wurden") + " wie gewünscht behalten";
    if (c.Failed() > 0)
        text += "; " + std::to_string(c.Failed()) + (c.Failed() == 1 ? " konnte" : " konnten") + " nicht entpackt werden";
    return text + ".";
}

std::string TArchivFormatAbstract::VerifySummary() const {
    const TVerifyCounts& c = FVerifyCounts;
    if (c.BySha256 + c.ByCrcOnly == 0) return c.Sealed ? "Das Siegel des Archivs ist intakt." : std::string();
    const auto entries = [](int n) { return std::to_string(n) + (n == 1 ? " Eintrag" : " Einträge"); };
    std::string text = entries(c.BySha256) + " durch SHA-256 bestätigt, " + entries(c.ByCrcOnly) + " nur durch CRC-32.";
    if (c.Sealed) text += " Das Siegel des Archivs ist intakt.";
    return text;
}

TArchivFormatClass GetArchivFormatClass(TArchivFormat format) {
    switch (format) {
        case TArchivFormat::Zip:
            return [] { return std::unique_ptr<TArchivFormatAbstract>(std::make_unique<TZipArchiv>()); };
        case TArchivFormat::Other:
            return [] { return std::unique_ptr<TArchivFormatAbstract>(std::make_unique<TOtherArchiv>()); };
    }
    return {};
}

}  // namespace tavik
