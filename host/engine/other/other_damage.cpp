#include "host/engine/other/other_damage.h"

namespace tavik {

void TDamageBetweenEntries::Skipped(const std::string& libraryText) {
    if (++FCount > 1) return;
    FFirstOpen = true;
    FFirstAfter = FLastEntry;
    FFirstText = libraryText;
}

void TDamageBetweenEntries::EntrySeen(const std::string& name) {
    if (FFirstOpen) {
        FFirstOpen = false;
        FFirstBefore = name;
    }
    FLastEntry = name;
}

std::string TDamageBetweenEntries::Where() const {
    if (FCount == 0) return {};
    std::string where;
    if (!FFirstAfter.empty() && !FFirstBefore.empty())
        where = "zwischen den Einträgen „" + FFirstAfter + "“ und „" + FFirstBefore + "“";
    else if (!FFirstBefore.empty())
        where = "vor dem ersten Eintrag „" + FFirstBefore + "“";
    else if (!FFirstAfter.empty())
        where = "nach dem letzten Eintrag „" + FFirstAfter + "“, vor dem Ende des Archivs,";
    else
        where = "vor dem Ende des Archivs, das keinen lesbaren Eintrag enthält,";
    where += " stehen Daten, die kein gültiger Eintragskopf sind; ein Eintrag kann dort fehlen (libarchive: " +
             FFirstText + ")";
    if (FCount > 1) where += ". Solche Stellen gibt es " + std::to_string(FCount) + "-mal";
    return where;
}

}  // namespace tavik
