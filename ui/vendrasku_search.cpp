// The search page: every archive in ARCHIV searched by name, the hits put back where they came
// from or extracted into a chosen directory, and a hit's archive opened on the workbench.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <map>

#include "host/engine/archiv_open.h"
#include "host/engine/search/archive_restore.h"
#include "host/engine/search/archive_search.h"
#include "host/services/exceptions.h"
#include "host/services/formatting.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "ui/search_versions.h"
#include "ui/page_command_running.h"
#include "ui/vendrasku.h"
#include "ui/view_update.h"
#include "ui/workbench_command.h"
#include "ui/workbench_support.h"

namespace vendrask {

using namespace tavik;

namespace {

// The engine object the abort buttons reach while a restore runs.
class TAbortTarget {
public:
    TAbortTarget(TArchivFormatAbstract*& slot, TArchivFormatAbstract& archiv) : FSlot(slot) { FSlot = &archiv; }
    ~TAbortTarget() { FSlot = nullptr; }
    TAbortTarget(const TAbortTarget&) = delete;
    TAbortTarget& operator=(const TAbortTarget&) = delete;

private:
    TArchivFormatAbstract*& FSlot;
};

QString VersionText(const std::string& archive, std::int64_t size, TDateTime modified) {
    return QString::fromStdString(tavik_DateToStr(modified, 10) + "  " + tavik_TimeToStr(modified) + "   " +
                                  tavik_FormatByteSize(size) + "   " + archive);
}

}  // namespace

void TfrmVendrask::spbSucheClick(QObject*) {
    Guarded("TfrmVendrask.spbSucheClick", [&] {
        if (FSearchRunning || RefuseWhileRunning()) return;
        if (!FSuche) throw EOlvex("Die Trefferliste fehlt; bitte das Programm neu starten.");
        const std::string term = edtSuche->text().trimmed().toStdString();
        if (term.empty()) {
            Notice("Bitte geben Sie einen Suchbegriff ein: ein Wort aus dem Dateinamen (beleg0013) oder ein "
                   "Muster (stadata/m01/beleg00*).");
            return;
        }
        const std::string dir = search::DefaultSearchDirectory();
        vstSuche->Clear();
        FSuche->RowsClear();
        FSucheHits.clear();
        FSucheFailures.clear();
        dspSucheTreffer->clear();
        ShowSearchFailures();
        lblSucheProgress->setText(QStringLiteral("Durchsuche „%1“ ...").arg(QString::fromStdString(dir)));
        pgbSucheProgress->setValue(0);

        search::TSearchEvents events;
        events.OnHit = [this](const search::TSearchHit& hit) {
            const TDateTime modified = EncodeDateTime(hit.modified);
            FSucheHits.push_back({hit.archive, static_cast<int>(hit.number), std::string(hit.name),
                                  static_cast<std::int64_t>(hit.size), modified});
            FSuche->RowAdd({std::string(hit.name), static_cast<std::int64_t>(hit.size), modified, modified,
                            ExtractFileName(hit.archive), static_cast<std::int32_t>(FSucheHits.size() - 1)},
                           0);
        };
        // One line per archive, however often it is reported.
        events.OnFailure = [this](const std::string& archive, const std::string& reason) {
            FSucheFailures.emplace(archive, reason);
        };
        events.OnProgress = [this](std::size_t done, std::size_t total) {
            pgbSucheProgress->setValue(total == 0 ? pgbSucheProgress->maximum()
                                                  : static_cast<int>(pgbSucheProgress->maximum() * done / total));
            // The abort buttons are heard here.
            TavikInfoProcessMessages(0);
            return !FSearchAborted;
        };
        search::TSearchResult result;
        {
            const TPageCommandRunning running(FSearchRunning, FCommandRunning, FSearchAborted, *spbSucheAbbrechen, *spbAbortOperation);
            result = search::SearchArchives(dir, {term}, events);
        }
        {
            const TViewUpdate update(*vstSuche);
            vstSuche->SetVRList(FSuche.get());
            vstSuche->Rebuild(true);
            vstSuche->SetColumnVisible(FSucheIndexCol, false);
            vstSuche->AutoFitColumns(0, 0);
            // The name column takes what the others leave; they keep their fitted widths.
            QHeaderView* header = vstSuche->header();
            header->setStretchLastSection(false);
            header->setSectionResizeMode(QHeaderView::Interactive);
            header->setSectionResizeMode(0, QHeaderView::Stretch);
        }
        dspSucheTreffer->setText(QString::number(FSucheHits.size()));
        lblSucheProgress->setText(result.aborted ? QStringLiteral("Die Suche wurde abgebrochen.") : QString());
        // The page says what could not be read; the failure list keeps it without coming forward
        // at every search.
        ShowSearchFailures();
        for (const auto& [archive, reason] : FSucheFailures)
            TavikInfo().RegisterFailure("TfrmVendrask.spbSucheClick", reason, true);
    });
}

void TfrmVendrask::ShowSearchFailures() {
    const auto count = static_cast<int>(FSucheFailures.size());
    lblSucheFehler->setVisible(count > 0);
    if (count == 0) {
        lblSucheFehler->clear();
        return;
    }
    const QString what = count == 1 ? QStringLiteral("1 Archivdatei konnte nicht gelesen werden")
                                    : QStringLiteral("%1 Archivdateien konnten nicht gelesen werden").arg(count);
    lblSucheFehler->setText(what + QStringLiteral(" – <a href=\"details\">Einzelheiten …</a>"));
    lblSucheFehler->setToolTip(QStringLiteral("Zeigt, welche Archivdateien nicht gelesen werden konnten und warum"));
}

void TfrmVendrask::lblSucheFehlerLinkActivated(QObject*) {
    Guarded("TfrmVendrask.lblSucheFehlerLinkActivated", [&] {
        if (FSucheFailures.empty()) return;
        QStringList lines;
        for (const auto& [archive, reason] : FSucheFailures) lines << QString::fromStdString(reason);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Archiv durchsuchen"),
                        FSucheFailures.size() == 1
                            ? QStringLiteral("Diese Archivdatei konnte bei der Suche nicht gelesen werden; ihr Inhalt "
                                             "fehlt in der Trefferliste:")
                            : QStringLiteral("Diese Archivdateien konnten bei der Suche nicht gelesen werden; ihr "
                                             "Inhalt fehlt in der Trefferliste:"),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgSucheFehler"));
        box.setInformativeText(lines.join(QStringLiteral("\n\n")));
        Choosers().ExecModal(box);
    });
}

void TfrmVendrask::vstSucheInitNode(QObject*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
    Guarded("TfrmVendrask.vstSucheInitNode", [&] {
        if (node) node->CheckType = ctCheckBox;
    });
}

void TfrmVendrask::vstSucheDblClick(QObject*, PVirtualNode node) {
    Guarded("TfrmVendrask.vstSucheDblClick", [&] {
        if (!node || FSearchRunning || RefuseWhileRunning()) return;
        const auto position = static_cast<std::size_t>(vstSuche->GetCellValueAsInt64(node, FSucheIndexCol));
        if (position >= FSucheHits.size()) return;
        const TSucheHit hit = FSucheHits[position];
        TdmOlvexArchiv& module = WorkbenchModule();
        module.SetArchivFileName(hit.Archive);
        ArchivAnzeigen();
        pgcAnsicht->setCurrentWidget(tshArchivVerwaltung);
        if (module.ArchivFileName().empty()) {
            TavikHinweisBox("Die Archivdatei „" + hit.Archive + "“ lässt sich nicht öffnen; sie wurde seit der Suche "
                            "wohl verändert oder entfernt. Bitte suchen Sie erneut.",
                            "");
            return;
        }
        for (PVirtualNode entry = vrtArchivInhalt->GetFirst(); entry; entry = vrtArchivInhalt->GetNext(entry)) {
            if (vrtArchivInhalt->GetCellValueAsInt64(entry, FArchivInhaltIndexCol) != hit.Number) continue;
            vrtArchivInhalt->SetCheckState(entry, csCheckedNormal);
            const QModelIndex index = vrtArchivInhalt->IndexOfNode(entry);
            vrtArchivInhalt->setCurrentIndex(index);
            vrtArchivInhalt->scrollTo(index);
            break;
        }
    });
}

bool TfrmVendrask::TickedHits(std::vector<std::size_t>& hits, const TTavikFSNames* places) {
    hits.clear();
    // The ticked hits by the place they land in, in the order the view shows them.
    std::vector<std::string> names;
    std::map<std::string, std::string> keys;
    std::map<std::string, std::vector<std::size_t>> byName;
    for (PVirtualNode node = vstSuche->GetFirst(); node; node = vstSuche->GetNext(node)) {
        if (vstSuche->CheckState(node) != csCheckedNormal) continue;
        const auto position = static_cast<std::size_t>(vstSuche->GetCellValueAsInt64(node, FSucheIndexCol));
        if (position >= FSucheHits.size()) continue;
        const std::string key = RestorePlaceKey(places, FSucheHits[position].Name);
        auto& versions = byName[key];
        if (versions.empty()) {
            names.push_back(key);
            keys[key] = FSucheHits[position].Name;
        }
        versions.push_back(position);
    }
    for (const std::string& key : names) {
        const std::string& name = keys[key];
        std::vector<std::size_t> versions = byName[key];
        if (versions.size() > 1) {
            std::stable_sort(versions.begin(), versions.end(), [this](std::size_t a, std::size_t b) {
                return FSucheHits[a].Modified > FSucheHits[b].Modified;
            });
            QStringList texts;
            for (const std::size_t version : versions)
                texts << VersionText(FSucheHits[version].Archive, FSucheHits[version].Size, FSucheHits[version].Modified);
            const int chosen = ChooseVersion(Choosers(), this, QString::fromStdString(name), texts);
            if (chosen < 0) return false;
            versions = {versions[static_cast<std::size_t>(chosen)]};
        }
        hits.push_back(versions.front());
    }
    return true;
}

void TfrmVendrask::RestoreHits(const std::vector<std::size_t>& hits, const std::string& chosen, const char* context) {
    std::unique_ptr<TTavikFSNames> names;
    if (chosen.empty()) names = std::make_unique<TTavikFSNames>();
    std::vector<std::string> archives;
    std::map<std::string, std::vector<std::size_t>> byArchive;
    for (const std::size_t hit : hits) {
        auto& group = byArchive[FSucheHits[hit].Archive];
        if (group.empty()) archives.push_back(FSucheHits[hit].Archive);
        group.push_back(hit);
    }
    std::vector<std::string> problems;
    bool aborted = false;
    int kept = 0;  // different files the user chose to keep
    for (const std::string& archive : archives) {
        const std::unique_ptr<TArchivFormatAbstract> archiv = OpenArchiv(archive);
        if (!archiv) {
            problems.push_back("Die Archivdatei „" + archive + "“ lässt sich nicht öffnen; bitte erneut suchen.");
            continue;
        }
        const TWorkbenchCommand command(*this, *archiv, false);
        const TAbortTarget target(FSucheArchiv, *archiv);
        const TAskBeforeReplacing ask(*archiv);
        archiv->OnConflict = [&kept, question = archiv->OnConflict](TArchivFormatAbstract& sender,
                                                                     const std::string& path) {
            const TArchivConflictAnswer answer = question(sender, path);
            if (answer == TArchivConflictAnswer::No || answer == TArchivConflictAnswer::NoAll) ++kept;
            return answer;
        };
        if (!archiv->ExecuteArchivList()) {
            problems.push_back("Der Inhalt von „" + archive + "“ ist nicht zu lesen. " + archiv->LastError());
            continue;
        }
        std::vector<int> indexes;
        for (const std::size_t hit : byArchive[archive]) {
            const TSucheHit& found = FSucheHits[hit];
            // The archive may have been written anew since the search.
            if (found.Number >= archiv->GetArchivItemsCount() ||
                ListedEntryName(archiv->GetArchivItem(found.Number)) != found.Name) {
                problems.push_back("„" + found.Name + "“: Die Archivdatei „" + archive +
                                   "“ wurde seit der Suche verändert; bitte erneut suchen.");
                continue;
            }
            indexes.push_back(found.Number);
        }
        if (indexes.empty()) continue;
        const TRestoreResult result = RestoreEntries(*archiv, indexes, names.get(), chosen);
        for (const TRestoreRefusal& refusal : result.refused) problems.push_back("„" + refusal.name + "“: " + refusal.reason);
        if (result.aborted) {
            aborted = true;
            break;
        }
        if (!result.extracted)
            problems.push_back("Aus „" + archive + "“ wurde nicht alles wiederhergestellt. " + result.error);
    }
    for (const std::string& problem : problems) TavikInfo().RegisterFailure(context, problem);
    if (aborted)
        Notice("Die Wiederherstellung wurde abgebrochen; Dateien, die schon fertig waren, sind an ihrem Platz.");
    else if (problems.empty() && kept > 0)
        Notice("Die übrigen markierten Dateien wurden wiederhergestellt; vorhandene andere Dateien wurden wie "
               "gewünscht behalten.");
    else if (problems.empty())
        Notice(chosen.empty() ? "Die markierten Dateien wurden wiederhergestellt." : "Daten wurden erfolgreich entpackt.");
}

void TfrmVendrask::spbWiederherstellenClick(QObject*) {
    Guarded("TfrmVendrask.spbWiederherstellenClick", [&] {
        if (FSearchRunning || RefuseWhileRunning()) return;
        std::vector<std::size_t> hits;
        const TTavikFSNames places;
        if (!TickedHits(hits, &places) || hits.empty()) return;
        RestoreHits(hits, {}, "TfrmVendrask.spbWiederherstellenClick");
    });
}

void TfrmVendrask::spbSucheEntpackenClick(QObject*) {
    Guarded("TfrmVendrask.spbSucheEntpackenClick", [&] {
        if (FSearchRunning || RefuseWhileRunning()) return;
        std::vector<std::size_t> hits;
        if (!TickedHits(hits, nullptr) || hits.empty()) return;
        TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Verzeichnis auswählen");
        const auto directory = Choosers().SelectDirectory(this, options);
        if (!directory) return;
        RestoreHits(hits, directory->toStdString(), "TfrmVendrask.spbSucheEntpackenClick");
    });
}

}  // namespace vendrask
