#include "host/engine/archiv_open.h"

#include <cctype>

namespace tavik {

bool HasZipExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find_first_of("/\\:", dot) != std::string::npos) return false;
    const std::string extension = name.substr(dot);
    if (extension.size() != 4) return false;
    std::string lower;
    for (const char c : extension) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == ".zip";
}

namespace {

// An archive of the format that is damaged or met a limit is still opened: its commands fail with
// the reason, and extraction rescues the entries that can be read.
bool IsDamageOrLimit(TErrorKind kind) { return kind == TErrorKind::DamagedArchive || kind == TErrorKind::LimitReached; }

}  // namespace

void NoteRefusal(const TArchivFormatAbstract& trial, TArchivRefusal& refusal) {
    if (trial.LastError().empty()) return;
    if (!refusal.Found.empty()) refusal.Found += ' ';
    refusal.Found += trial.LastError();
    if (refusal.Reason.empty() && trial.LastRecognised()) refusal.Reason = trial.LastError();
}

std::unique_ptr<TArchivFormatAbstract> OpenArchiv(const std::string& name, TArchivRefusal* refusal,
                                                  const TCommandProgressEvent& onProgress, bool noLimits) {
    if (HasZipExtension(name)) {
        if (const TArchivFormatClass zip = GetArchivFormatClass(TArchivFormat::Zip)) {
            std::unique_ptr<TArchivFormatAbstract> archiv = zip();
            archiv->ArchivFile = name;
            archiv->NoLimits = noLimits;
            return archiv;
        }
    }
    std::unique_ptr<TArchivFormatAbstract> damaged;
    for (const TArchivFormat format : {TArchivFormat::Zip, TArchivFormat::Other}) {
        const TArchivFormatClass create = GetArchivFormatClass(format);
        if (!create) continue;
        std::unique_ptr<TArchivFormatAbstract> archiv = create();
        archiv->ArchivFile = name;
        archiv->NoLimits = noLimits;
        // The simple check reads and compares a whole directory, which takes seconds and much
        // memory for a million entries before the command even begins; end records that hold
        // say as surely which format it is. The command that follows reports any damage further
        // on, as it does for a name ending in ".zip".
        if (archiv->RecognisedAtAGlance()) return archiv;
        archiv->OnCommandProgress = onProgress;
        const bool recognised = archiv->ExecuteArchivVerify(TArchivVerifyMode::Simple);
        archiv->OnCommandProgress = nullptr;
        if (recognised) return archiv;
        if (refusal) NoteRefusal(*archiv, *refusal);
        if (!damaged && archiv->LastRecognised() && IsDamageOrLimit(archiv->LastErrorKind())) damaged = std::move(archiv);
    }
    if (damaged && refusal) *refusal = {};
    return damaged;
}

}  // namespace tavik
