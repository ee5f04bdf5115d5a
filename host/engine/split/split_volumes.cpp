#include "host/engine/split/split_volumes.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "host/engine/split/split_copy.h"
#include "host/engine/split/split_files.h"
#include "host/engine/split/split_reader.h"
#include "host/engine/split/split_writer.h"
#include "host/engine/split/volume_names.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"

namespace tavik {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kAutomaticVolumeSize = 2'000'000'000;

std::string CleanDirectory(const std::string& dir) {
    std::string clean = dir.empty() ? "." : dir;
    while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    struct stat st {};
    if (::stat(clean.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EOlvex("Den Zielordner „" + dir + "“ gibt es nicht. Bitte einen vorhandenen Ordner wählen.");
    return clean;
}

// True for "name.zip", and with volumes for "name.z01", "name.z1000" and so on: the names the
// writer gives its outputs.
bool IsOutputName(const std::string& file, const std::string& name, bool volumes) {
    const std::optional<TVolumeName> output = ParseVolumeName(file);
    if (!output || output->stem != name) return false;
    if (output->kind == TVolumeName::Kind::Zip) return output->extension == ZipExtension();
    return volumes && output->kind == TVolumeName::Kind::Volume && !output->upperCase;
}

// Refuses to write where the outputs would replace an input or any other file.
void CheckOutputs(const std::string& dir, const std::string& name, bool volumes,
                  const std::vector<split::TFileIdentity>& inputs) {
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string file = it->path().filename().string();
        if (!IsOutputName(file, name, volumes)) continue;
        const std::string path = dir + "/" + file;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 &&
            std::find(inputs.begin(), inputs.end(), split::TFileIdentity{st.st_dev, st.st_ino}) != inputs.end())
            throw EOlvex("Die Ausgabedatei „" + path + "“ wäre zugleich eine Eingabedatei und wird nicht überschrieben. "
                         "Bitte einen anderen Zielordner wählen.");
        throw EOlvex("Im Zielordner gibt es bereits „" + path + "“; vorhandene Dateien werden nicht überschrieben. "
                     "Bitte einen anderen Zielordner wählen oder die Datei zuvor entfernen.");
    }
    if (error)
        throw EOlvex("Der Zielordner „" + dir + "“ kann nicht gelesen werden: " + SystemErrorText(error.value()) + ".",
                     KindOfAccessError(error.value()));
}

std::optional<TSplitSet> FindSource(const std::string& archive) {
    std::optional<TSplitSet> set = FindSplitSet(archive);
    if (!set && !split::IsFile(archive))
        throw EOlvex("Die Archivdatei „" + archive + "“ gibt es nicht. Bitte den Pfad prüfen.", TErrorKind::InputMissing);
    return set;
}

void Write(const std::string& archive, const std::string& targetDir, std::uint64_t volumeSize,
           const TSplitProgress& progress, const std::string& abortMessage) {
    const std::optional<TSplitSet> set = FindSource(archive);
    split::TSplitArchive source(archive, set);
    const std::string dir = CleanDirectory(targetDir);
    const std::string name = OutputBaseName(archive, set);
    if (name.empty()) throw EOlvex("Aus dem Namen „" + archive + "“ lässt sich kein Name für die Ausgabe bilden.");
    CheckOutputs(dir, name, volumeSize > 0, source.Files().Identities());
    split::TVolumeWriter writer(dir, name, volumeSize);
    split::CopyArchive(source, writer, progress, abortMessage);
    writer.Commit();
}

}  // namespace

void SpanArchive(const std::string& archive, const std::string& targetDir, std::int64_t size,
                 const TSplitProgress& progress) {
    if (size == -1) size = kAutomaticVolumeSize;
    if (size < kSmallestVolumeSize)
        throw EOlvex("Die Teilgröße von " + std::to_string(size) + " Bytes ist zu klein: jeder Teil muss mindestens " +
                     std::to_string(kSmallestVolumeSize) + " Bytes (64 KiB) groß sein. "
                     "Bitte eine größere Teilgröße oder „automatisch“ wählen.");
    Write(archive, targetDir, static_cast<std::uint64_t>(size), progress,
          "Das Aufteilen wurde abgebrochen; es wurden keine Teile angelegt.");
}

void MergeArchive(const std::string& archive, const std::string& targetDir, const TSplitProgress& progress) {
    Write(archive, targetDir, 0, progress, "Das Zusammenfügen wurde abgebrochen; es wurde keine Datei angelegt.");
}

}  // namespace tavik
