#include "host/services/fs_names.h"

#include <filesystem>

#include "host/services/db_connector.h"
#include "host/services/exceptions.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"

namespace tavik {

namespace {

// The part of path below directory ("" for the directory itself), or nothing.
std::optional<std::string> Below(const std::string& path, const std::string& directory) {
    if (directory == "/") return !path.empty() && path.front() == '/' ? std::optional(path.substr(1)) : std::nullopt;
    if (path == directory) return std::string();
    if (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
        path[directory.size()] == '/')
        return path.substr(directory.size() + 1);
    return std::nullopt;
}

// name starts with prefix as whole components, letters compared without regard to case.
bool StartsWithComponents(const std::string& name, const std::string& prefix) {
    if (prefix.empty() || name.size() < prefix.size()) return false;
    if (!SameText(name.substr(0, prefix.size()), prefix)) return false;
    return name.size() == prefix.size() || name[prefix.size()] == '/';
}

}  // namespace

bool IsSameOrBelow(const std::string& path, const std::string& directory) {
    return Below(path, directory).has_value();
}

std::string ResolveHostDirectory(const std::string& root, const std::string& name, const std::string& stored) {
    if (SameText(name, "stadata")) return ConcatPathNames(root, "stadata");
    std::filesystem::path path(stored);
    if (path.is_relative()) path = std::filesystem::path(root) / path;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

TTavikFSNames::TTavikFSNames() : FRoot(HostRoot()) {
    for (const auto& directory : GetDBConnector().Directories()) {
        FNames.push_back(directory.Name);
        const std::string path = ResolveHostDirectory(FRoot, directory.Name, directory.Path);
        FDirectories.push_back({directory.Name, path, Below(path, FRoot).has_value()});
    }
}

std::optional<std::string> TTavikFSNames::FindTavikFSName(const std::string& path) const {
    if (auto below = Below(path, FRoot)) {
        if (below->empty()) return std::nullopt;  // the root itself has no name
        return below;
    }
    // The innermost host directory outside the root that holds path names it.
    const TTavikFSDirectory* holder = nullptr;
    std::string rest;
    for (const auto& directory : FDirectories) {
        if (directory.BelowRoot) continue;
        auto below = Below(path, directory.Path);
        if (below && (!holder || directory.Path.size() > holder->Path.size())) {
            holder = &directory;
            rest = *below;
        }
    }
    if (!holder) return std::nullopt;
    return ConcatPathNames(holder->Name, rest);
}

std::string TTavikFSNames::GetTavikFSName(const std::string& path) const {
    return FindTavikFSName(path).value_or(path);
}

std::string TTavikFSNames::GetTavikFSPath(const std::string& name) const {
    const TTavikFSDirectory* holder = nullptr;
    for (const auto& directory : FDirectories)
        if (!directory.BelowRoot && StartsWithComponents(name, directory.Name) &&
            (!holder || directory.Name.size() > holder->Name.size()))
            holder = &directory;
    if (!holder) return ConcatPathNames(FRoot, name);
    return ConcatPathNames(holder->Path, name.substr(holder->Name.size()));
}

std::string GetDirOlvexByName(const std::string& directory, const std::string& file, bool) {
    const std::string root = HostRoot();
    std::string path;
    if (SameText(directory, "stadata")) {
        path = ConcatPathNames(root, "stadata");
    } else {
        for (const auto& known : GetDBConnector().Directories())
            if (SameText(known.Name, directory)) {
                path = ResolveHostDirectory(root, known.Name, known.Path);
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
