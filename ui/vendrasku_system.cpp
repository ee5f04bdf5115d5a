// The two cleanup pages: refresh, counters, archiving and deleting the marked candidates, and
// the toolbar's "alle ein" and "umkehren".
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <cstdio>

#include "host/services/exceptions.h"
#include "host/services/formatting.h"
#include "host/services/paths.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"
#include "ui/view_update.h"

namespace vendrask {

using namespace tavik;

namespace {

// Disables the window for a scan or a run and enables it again, whatever happens meanwhile.
class TDisabledWindow {
public:
    explicit TDisabledWindow(QWidget& window) : FWindow(window) { FWindow.setEnabled(false); }
    ~TDisabledWindow() { FWindow.setEnabled(true); }
    TDisabledWindow(const TDisabledWindow&) = delete;
    TDisabledWindow& operator=(const TDisabledWindow&) = delete;

private:
    QWidget& FWindow;
};

TdmOlvexArchiv& Module() {
    if (!dmOlvexArchiv)
        throw EOlvex("Die Archivverwaltung ist nicht vollständig gestartet (das Aufgabenmodul fehlt). "
                     "Bitte das Programm neu starten.");
    return *dmOlvexArchiv;
}

TVRList& Table(TVRList* table) {
    if (!table)
        throw EOlvex("Die Liste der Kandidaten ist nicht verfügbar. Die Fehlerliste nennt den Grund; "
                     "danach bitte die Anzeige aktualisieren.");
    return *table;
}

bool IsMarked(PVirtualNode node) { return node->CheckState == csCheckedNormal; }

QString Count6(int count) {
    if (count <= 0) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%6d", count);
    return QString::fromLatin1(text);
}

QString ByteSize(std::int64_t bytes) { return QString::fromStdString(tavik_FormatByteSize(bytes)); }

}  // namespace

void TfrmVendrask::ConnectSystemPages() {
    for (TVTVRList* view : {vrtSystemArch, vrtSystemDel}) {
        view->OnInitNode = [this](QObject* sender, PVirtualNode parentNode, PVirtualNode node,
                                  TVirtualNodeInitStates& states) { vrtSystemInitNode(sender, parentNode, node, states); };
        view->OnChecked = [this](QObject* sender, PVirtualNode node) { vrtSystemChecked(sender, node); };
    }
    connect(spbSystemArchRefresh, &QToolButton::clicked, this, [this] { spbSystemRefreshClick(spbSystemArchRefresh); });
    connect(spbSystemDelRefresh, &QToolButton::clicked, this, [this] { spbSystemRefreshClick(spbSystemDelRefresh); });
    connect(spbSystemArch, &QToolButton::clicked, this, [this] { spbSystemArchClick(spbSystemArch); });
    connect(spbSystemDelClick, &QToolButton::clicked, this, [this] { spbSystemDelClickClick(spbSystemDelClick); });
}

void TfrmVendrask::spbSystemRefreshClick(QObject*) {
    Guarded("TfrmVendrask.spbSystemRefreshClick", [&] {
        TViewUpdate archUpdate(*vrtSystemArch);
        TViewUpdate delUpdate(*vrtSystemDel);
        TdmOlvexArchiv& module = Module();
        {
            TDisabledWindow disabled(*this);
            module.ExploreSystem();
        }
        ShowCandidates();
    });
}

void TfrmVendrask::ShowCandidates() {
    TdmOlvexArchiv& module = Module();
    BindCandidates(*vrtSystemArch, module.SystemArch());
    vrtSystemChecked(vrtSystemArch, nullptr);
    BindCandidates(*vrtSystemDel, module.SystemDel());
    vrtSystemChecked(vrtSystemDel, nullptr);
    const TDeletionHold& hold = module.ScanHold();
    lblOlvexSysDelSperre->setText(
        hold.On ? QString::fromStdString(HoldText(hold) + ". In ARCHIV wird nichts gelöscht, bis sie aufgehoben ist "
                                                          "(vendrask-archiv hold off).")
                : QString());
    lblOlvexSysDelSperre->setVisible(hold.On);
}

void TfrmVendrask::BindCandidates(TVTVRList& view, TVRList* table) {
    const TCandidateColumns& columns = Module().CandidateColumns();
    view.SetVRList(&Table(table));
    view.SetTotalsColumn(columns.Groesse);
    view.Rebuild(true);
    for (int column : {columns.Index, columns.AbsPath, columns.RelPath, columns.FileName, columns.Attribute})
        view.SetColumnVisible(column, false);
    view.AutoFitColumns(0, 0);
}

void TfrmVendrask::vrtSystemInitNode(QObject*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
    Guarded("TfrmVendrask.vrtSystemInitNode", [&] {
        node->CheckType = ctCheckBox;
        node->CheckState = csCheckedNormal;
    });
}

void TfrmVendrask::vrtSystemChecked(QObject* sender, PVirtualNode) {
    Guarded("TfrmVendrask.vrtSystemChecked", [&] {
        auto* view = qobject_cast<TVTVRList*>(sender);
        if (!view) throw EOlvex("Die Zähler gehören zu keiner Kandidatenliste.");
        int count = 0;
        int markedCount = 0;
        std::int64_t bytes = 0;
        std::int64_t markedBytes = 0;
        GetSelectedFilesSize(*view, count, markedCount, bytes, markedBytes);
        std::array<QLabel*, 4> displays{};
        if (view == vrtSystemArch)
            displays = {dspOlvexSysArchAnz, dspOlvexSysArchAnzSel, dspOlvexSysArchBytes, dspOlvexSysArchBytesSel};
        else if (view == vrtSystemDel)
            displays = {dspOlvexSysDelAnz, dspOlvexSysDelAnzSel, dspOlvexSysDelBytes, dspOlvexSysDelBytesSel};
        else
            return;
        displays[0]->setText(Count6(count));
        displays[1]->setText(Count6(markedCount));
        displays[2]->setText(ByteSize(bytes));
        displays[3]->setText(ByteSize(markedBytes));
    });
}

void TfrmVendrask::GetSelectedFilesSize(TVTVRList& view, int& count, int& markedCount, std::int64_t& bytes,
                                        std::int64_t& markedBytes) {
    count = 0;
    markedCount = 0;
    bytes = 0;
    markedBytes = 0;
    Guarded("TfrmVendrask.GetSelectedFilesSize", [&] {
        // The view keeps these sums as checks change, so a click costs no walk over all nodes.
        const TCheckTotals& totals = view.CheckTotals();
        count = totals.Count;
        markedCount = totals.Checked;
        bytes = totals.Sum;
        markedBytes = totals.CheckedSum;
    });
}

namespace {

// Files a run kept on purpose (read-only ones and their groups, archives within their retention
// period or under a deletion hold) are no failure, but whoever ticked them must learn why they
// are still there and what to do about it.
void NoticeKeptOnPurpose(const std::vector<TFileOutcome>& files, std::initializer_list<TFileFate> fates,
                         const char* what) {
    constexpr std::size_t kShown = 10;
    std::string text;
    std::size_t kept = 0;
    for (const TFileOutcome& file : files) {
        if (std::find(fates.begin(), fates.end(), file.Fate) == fates.end()) continue;
        if (++kept <= kShown) text += "\n" + (file.Fate == TFileFate::KeptRetention ? "„" + file.Path + "“: " : "") +
                                      file.Reason;
    }
    if (kept == 0) return;
    if (kept > kShown) text += "\n… und " + std::to_string(kept - kShown) + " weitere.";
    const std::string head = kept == 1 ? std::string("Eine Datei wurde nicht ") + what + " und bleibt erhalten:"
                                       : std::to_string(kept) + " Dateien wurden nicht " + what +
                                             " und bleiben erhalten:";
    TavikHinweisBox(head + text, "");
}

}  // namespace

void TfrmVendrask::spbSystemArchClick(QObject*) {
    Guarded("TfrmVendrask.spbSystemArchClick", [&] {
        // The run replaces the engine object, which a command of the workbench may be using.
        if (RefuseWhileRunning()) return;
        TdmOlvexArchiv& module = Module();
        module.ArchInitialize();
        TArchivFormatAbstract* archiv = module.Archiv();
        if (!archiv)
            throw EOlvex("Das ZIP-Format steht nicht zur Verfügung; es wurde nichts archiviert. Die Fehlerliste "
                         "nennt den Grund.");
        archiv->FileItemClear();
        const TCandidateColumns& columns = module.CandidateColumns();
        const TVRList& table = Table(module.SystemArch());
        for (PVirtualNode node = vrtSystemArch->GetFirst(); node; node = vrtSystemArch->GetNext(node)) {
            if (!IsMarked(node)) continue;
            const int row = static_cast<int>(vrtSystemArch->GetCellValueAsInt64(node, columns.Index));
            archiv->FileItemAdd(module.ArchivItemOf(table, row));
        }
        TDisabledWindow disabled(*this);
        // A window must not freeze while another run holds ARCHIV: that is reported at once.
        module.ArchivLockWait = std::chrono::milliseconds::zero();
        const bool written = module.ArchExecute();
        NoticeKeptOnPurpose(module.LastArchivFiles(), {TFileFate::KeptReadOnly, TFileFate::KeptGroup}, "archiviert");
        if (written) spbSystemRefreshClick(spbSystemArchRefresh);
    });
}

void TfrmVendrask::spbSystemDelClickClick(QObject*) {
    Guarded("TfrmVendrask.spbSystemDelClickClick", [&] {
        TdmOlvexArchiv& module = Module();
        const TCandidateColumns& columns = module.CandidateColumns();
        const TVRList& table = Table(module.SystemDel());
        std::vector<TdmOlvexArchiv::TDeleteItem> items;
        for (PVirtualNode node = vrtSystemDel->GetFirst(); node; node = vrtSystemDel->GetNext(node)) {
            if (!IsMarked(node)) continue;
            const int row = static_cast<int>(vrtSystemDel->GetCellValueAsInt64(node, columns.Index));
            items.push_back(module.DeleteItemOf(table, row));
        }
        TDisabledWindow disabled(*this);
        const bool done = module.DeleteExecute(items);
        NoticeKeptOnPurpose(module.LastDeleteFiles(), {TFileFate::KeptHold, TFileFate::KeptRetention}, "gelöscht");
        if (done) spbSystemRefreshClick(spbSystemDelRefresh);
    });
}

void TfrmVendrask::spbAlleEinClick(QObject*) {
    Guarded("TfrmVendrask.spbAlleEinClick", [&] {
        QWidget* page = pgcAnsicht->currentWidget();
        if (page == tshArchivVerwaltung) {
            AlleEin_VST(*vrtArchivInhalt);
        } else if (page == tshSuche) {
            AlleEin_VST(*vstSuche);
        } else if (page == tshArchivbestand) {
            AlleEin_VST(*vrtArchivbestand);
        } else if (page == tshOlvexSystemArch) {
            AlleEin_VST(*vrtSystemArch);
            vrtSystemChecked(vrtSystemArch, nullptr);
        } else if (page == tshOlvexSystemDel) {
            AlleEin_VST(*vrtSystemDel);
            vrtSystemChecked(vrtSystemDel, nullptr);
        }
    });
}

void TfrmVendrask::spbAlleUmsClick(QObject*) {
    Guarded("TfrmVendrask.spbAlleUmsClick", [&] {
        QWidget* page = pgcAnsicht->currentWidget();
        if (page == tshArchivVerwaltung) {
            AlleUms_VST(*vrtArchivInhalt);
        } else if (page == tshSuche) {
            AlleUms_VST(*vstSuche);
        } else if (page == tshArchivbestand) {
            AlleUms_VST(*vrtArchivbestand);
        } else if (page == tshOlvexSystemArch) {
            AlleUms_VST(*vrtSystemArch);
            vrtSystemChecked(vrtSystemArch, nullptr);
        } else if (page == tshOlvexSystemDel) {
            AlleUms_VST(*vrtSystemDel);
            vrtSystemChecked(vrtSystemDel, nullptr);
        }
    });
}

void TfrmVendrask::AlleEin_VST(TVTVRList& view) {
    Guarded("TfrmVendrask.spbAlleEinClick.AlleEin_VST", [&] {
        TViewUpdate update(view);
        for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node))
            view.SetCheckState(node, csCheckedNormal);
    });
}

void TfrmVendrask::AlleUms_VST(TVTVRList& view) {
    Guarded("TfrmVendrask.spbAlleUmsClick.AlleUms_VST", [&] {
        TViewUpdate update(view);
        for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node))
            view.SetCheckState(node, IsMarked(node) ? csUncheckedNormal : csCheckedNormal);
    });
}

}  // namespace vendrask
