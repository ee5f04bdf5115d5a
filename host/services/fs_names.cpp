#include "host/services/fs_names.h"

#include <filesystem>

#include "host/services/db_connector.h"
#include "host/services/exceptions.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"

namespace tavik {

TTavikFSNames::TTavikFSNames() : FRoot(HostRoot()) {
    for (const auto& directory : GetDBConnector().Directories()) FNames.push_back(directory.Name);
}

std::string TTavikFSNames::GetTavikFSName(const std::string& path) const {
    if (path.size() > FRoot.size() && path.compare(0, FRoot.size(), FRoot) == 0 && path[FRoot.size()] == '/')
        return path.substr(FRoot.size() + 1);
    return path;
}

namespace {

std::string ResolveDirectory(const std::string& root, const std::string& stored) {
    std::filesystem::path path(stored);
    if (path.is_relative()) path = std::filesystem::path(root) / path;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

std::string GetDirOlvexByName(const std::string& directory, const std::string& file, bool) {
    const std::string root = HostRoot();
    std::string path;
    if (SameText(directory, "stadata")) {
        path = ConcatPathNames(root, "stadata");
    } else {
        for (const auto& known : GetDBConnector().Directories())
            if (SameText(known.Name, directory)) {
                path = ResolveDirectory(root, known.Path);
                break;
            }
        if (path.empty() && (SameText(directory, "ARCHIV") || SameText(directory, "STATEMP")))
            path = ConcatPathNames(root, UpperCaseAscii(directory));
        if (path.empty())
            throw EOlvex("Das Verzeichnis „" + directory +
                         "“ ist in der Olvex-Installation nicht bekannt. Bitte die Tabelle host_directory prüfen.");
    }
    return file.empty() ? path : ConcatPathNames(path, file);
}

}  // namespace tavik
