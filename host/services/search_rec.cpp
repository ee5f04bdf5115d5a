#include "host/services/search_rec.h"

namespace tavik {

void SearchRecFromStat(const struct stat& status, std::string_view name, TSearchRec& rec) {
    const bool directory = S_ISDIR(status.st_mode);
    rec.Time = FileTimeToDateTime(status.st_mtime);
    rec.Size = directory ? 0 : static_cast<std::int64_t>(status.st_size);
    rec.Attr = directory ? faDirectory : faArchive;
    if ((status.st_mode & S_IWUSR) == 0) rec.Attr |= faReadOnly;
    if (!name.empty() && name.front() == '.') rec.Attr |= faHidden;
    rec.Name.assign(name);
}

bool FindFirst(const std::string& path, std::uint32_t attrMask, TSearchRec& rec) {
    rec = TSearchRec{};
    // Without its trailing separators, so that lstat does not resolve a link named "link/".
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    std::string_view name = entry;
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos && name.size() > 1)
        name.remove_prefix(slash + 1);

    struct stat status{};
    if (name.empty() || lstat(entry.c_str(), &status) != 0) return false;
    if (S_ISDIR(status.st_mode)) {
        if ((attrMask & faDirectory) == 0) return false;
    } else if (!S_ISREG(status.st_mode)) {
        return false;
    }
    if (name.front() == '.' && (attrMask & faHidden) == 0) return false;
    SearchRecFromStat(status, name, rec);
    return true;
}

void FindClose(TSearchRec&) {}

}  // namespace tavik
