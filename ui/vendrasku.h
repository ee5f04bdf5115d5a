#pragma once
// TfrmVendrask: the main window of the interactive program. A toolbar of three buttons, a
// page control with the two cleanup pages (archive and delete candidates), the workbench
// for one archive file, the search of ARCHIV and its inventory, and the main menu. Every handler guards its body: a failure goes to
// the error service and the window stays usable.
#include <QMainWindow>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"
#include "host/services/vr_list.h"
#include "host/widgets/choosers.h"
#include "host/widgets/tvt_vr_list.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace tavik {
class TTavikFSNames;
}

namespace vendrask {

class TfrmVendrask : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmVendrask(std::shared_ptr<tavik::TChoosers> choosers, QWidget* parent = nullptr);
    ~TfrmVendrask() override;

    // toolbar
    QFrame* pnlHauptrahmen = nullptr;
    QWidget* pnlDaten = nullptr;
    QFrame* bvlButtons = nullptr;
    QToolButton* spbEnde = nullptr;
    QToolButton* spbAlleEin = nullptr;
    QToolButton* spbAlleUms = nullptr;
    QTabWidget* pgcAnsicht = nullptr;
    QWidget* tshOlvexSystemArch = nullptr;
    QWidget* tshOlvexSystemDel = nullptr;
    QWidget* tshArchivVerwaltung = nullptr;
    QWidget* tshSuche = nullptr;
    QWidget* tshArchivbestand = nullptr;

    // page "System aufräumen: Archivieren"
    QToolButton* spbSystemArchRefresh = nullptr;
    QToolButton* spbSystemArch = nullptr;
    QLabel* lblOlvexSysArchAnz = nullptr;
    QLabel* dspOlvexSysArchAnz = nullptr;
    QLabel* lblOlvexSysArchAnzSel = nullptr;
    QLabel* dspOlvexSysArchAnzSel = nullptr;
    QLabel* lblOlvexSysArchBytes = nullptr;
    QLabel* dspOlvexSysArchBytes = nullptr;
    QLabel* lblOlvexSysArchBytesSel = nullptr;
    QLabel* dspOlvexSysArchBytesSel = nullptr;
    QFrame* bvlOlvexSysArch = nullptr;
    tavik::TVTVRList* vrtSystemArch = nullptr;

    // page "System aufräumen: Löschen"
    QToolButton* spbSystemDelRefresh = nullptr;
    QToolButton* spbSystemDelClick = nullptr;
    QLabel* lblOlvexSysDelAnz = nullptr;
    QLabel* dspOlvexSysDelAnz = nullptr;
    QLabel* lblOlvexSysDelAnzSel = nullptr;
    QLabel* dspOlvexSysDelAnzSel = nullptr;
    QLabel* lblOlvexSysDelBytes = nullptr;
    QLabel* dspOlvexSysDelBytes = nullptr;
    QLabel* lblOlvexSysDelBytesSel = nullptr;
    QLabel* dspOlvexSysDelBytesSel = nullptr;
    QFrame* bvlOlvexSysDel = nullptr;
    QLabel* lblOlvexSysDelSperre = nullptr;
    tavik::TVTVRList* vrtSystemDel = nullptr;

    // page "Archivdatei bearbeiten"
    QToolButton* spbOpenFiles = nullptr;
    QLabel* lblArchDateiName = nullptr;
    QLabel* lblTxtArchDateiBytes = nullptr;
    QLabel* lblArchDateiBytes = nullptr;
    QLabel* lblTxtArchDateiTime = nullptr;
    QLabel* lblArchDateiTime = nullptr;
    QToolButton* spbAbortOperation = nullptr;
    QFrame* bvlArchivVerwaltung = nullptr;
    tavik::TVTVRList* vrtArchivInhalt = nullptr;
    QLabel* lblProgressItem = nullptr;
    QProgressBar* pgbProgressItem = nullptr;
    QProgressBar* pgbProgressTotal = nullptr;
    QPushButton* spbVerifySimple = nullptr;
    QPushButton* spbVerifyComplete = nullptr;
    QPushButton* spbDecompressSel = nullptr;
    QPushButton* spbDecompressAll = nullptr;
    QPushButton* spbCompressNew = nullptr;
    QPushButton* spbCompressAdd = nullptr;
    QPushButton* spbSpan = nullptr;
    QPushButton* spbMerge = nullptr;

    // page "Archiv durchsuchen"
    QLabel* lblSuche = nullptr;
    QLineEdit* edtSuche = nullptr;
    QToolButton* spbSuche = nullptr;
    QLabel* lblSucheTreffer = nullptr;
    QLabel* dspSucheTreffer = nullptr;
    // After a search that could not read every archive: how many, and a link to the details.
    QLabel* lblSucheFehler = nullptr;
    QToolButton* spbSucheAbbrechen = nullptr;
    QFrame* bvlSuche = nullptr;
    tavik::TVTVRList* vstSuche = nullptr;
    QLabel* lblSucheProgress = nullptr;
    QProgressBar* pgbSucheProgress = nullptr;
    QPushButton* spbWiederherstellen = nullptr;
    QPushButton* spbSucheEntpacken = nullptr;

    // page "Archivbestand"
    QLabel* lblArchivbestandStatus = nullptr;
    QToolButton* spbArchivbestandAbbrechen = nullptr;
    QFrame* bvlArchivbestand = nullptr;
    tavik::TVTVRList* vrtArchivbestand = nullptr;
    QLabel* lblArchivbestandProgress = nullptr;
    QProgressBar* pgbArchivbestandProgress = nullptr;
    QPushButton* spbArchivbestandPruefen = nullptr;
    QPushButton* spbArchivbestandBericht = nullptr;
    QPushButton* spbArchivbestandExport = nullptr;

    // main menu
    QMenu* Funktionen1 = nullptr;
    QAction* Beenden1 = nullptr;
    QMenu* Ansicht1 = nullptr;
    QAction* Allemarkieren1 = nullptr;
    QAction* Markierungumkehren1 = nullptr;
    QMenu* N2 = nullptr;
    QAction* Hilfe1 = nullptr;

    // The open archive's contents, shown by vrtArchivInhalt; empty after a failed FormCreate.
    tavik::TVRList* ArchivInhalt() const { return FArchivInhalt.get(); }
    // The column of FArchivInhalt that holds each entry's position in the engine's list.
    int ArchivInhaltIndexCol() const { return FArchivInhaltIndexCol; }
    tavik::TChoosers& Choosers() const { return *FChoosers; }
    // The filter of the file-open dialog: all files (preselected, named as in the add-files
    // dialog) and archive files.
    static QString OpenDialogFilter() { return QStringLiteral("Alle Dateien (*);;Archivdateien (*.sar *.zip)"); }

    // handlers of the frame
    void FormCreate(QObject* sender);
    void FormShow(QObject* sender);
    void FormDestroy(QObject* sender);
    void spbEndeClick(QObject* sender);

    // handlers of the two cleanup pages
    void spbSystemRefreshClick(QObject* sender);
    void spbSystemArchClick(QObject* sender);
    void spbSystemDelClickClick(QObject* sender);
    void vrtSystemInitNode(QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                           tavik::TVirtualNodeInitStates& initialStates);
    void vrtSystemChecked(QObject* sender, tavik::PVirtualNode node);
    void spbAlleEinClick(QObject* sender);
    void spbAlleUmsClick(QObject* sender);

    // Shows the candidate tables of the task module in the two views (the part of a refresh
    // after the scan).
    void ShowCandidates();

    // the workbench: open and show an archive, progress and abort
    void spbOpenFilesClick(QObject* sender);
    void ArchivAnzeigen();
    // Bytes of the file and of its split volumes .z01, .z02, ... up to the first missing one;
    // -1 when one of them cannot be read.
    static std::int64_t GetFileSize(const QString& fileName);
    void ArchivFileProgress(tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand command,
                            tavik::PFileInfoItem entry, std::int64_t done, std::int64_t total);
    void ArchivTotalProgress(tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand command, std::int64_t done,
                             std::int64_t total);
    void ArchivCommandEnd(tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand command);
    void spbAbortOperationClick(QObject* sender);
    void vrtArchivInhaltInitNode(QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                                 tavik::TVirtualNodeInitStates& initialStates);

    // the workbench: verify and extract
    void spbVerifySimpleClick(QObject* sender);
    void spbVerifyCompleteClick(QObject* sender);
    void spbDecompressSelClick(QObject* sender);
    void spbDecompressAllClick(QObject* sender);

    // the workbench: pack, split and join
    void spbCompressNewClick(QObject* sender);
    void spbCompressAddClick(QObject* sender);
    void spbSpanClick(QObject* sender);
    void spbMergeClick(QObject* sender);

    // the search page: search ARCHIV, restore or extract the ticked hits, open a hit's archive
    void spbSucheClick(QObject* sender);
    void vstSucheInitNode(QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                          tavik::TVirtualNodeInitStates& initialStates);
    void vstSucheDblClick(QObject* sender, tavik::PVirtualNode node);
    void spbWiederherstellenClick(QObject* sender);
    void spbSucheEntpackenClick(QObject* sender);
    // The archives the last search could not read, each with its reason, in a box.
    void lblSucheFehlerLinkActivated(QObject* sender);
    // The search's table: Name, Größe, Datum, Uhrzeit, Archivdatei and the hidden hit number.
    tavik::TVRList* SucheTreffer() const { return FSuche.get(); }

    // the inventory page: the archives of ARCHIV with their journal, verified again on demand
    // and reported as PDF
    void ShowInventory();
    void spbArchivbestandPruefenClick(QObject* sender);
    void spbArchivbestandBerichtClick(QObject* sender);
    void spbArchivbestandExportClick(QObject* sender);
    // The year to export, asked with last year preset; nothing when the user cancels.
    std::optional<int> AskExportYear();
    void vrtArchivbestandInitNode(QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                                  tavik::TVirtualNodeInitStates& initialStates);
    // The inventory's table, one row per archive in the columns of the report.
    tavik::TVRList* Archivbestand() const { return FArchivbestand.get(); }

    // True while an engine command of the workbench runs; a second one is refused meanwhile.
    bool CommandRunning() const { return FCommandRunning; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildFrame();
    void BuildMenu();
    void BuildKeys();
    QWidget* BuildSystemPage(bool archive);
    QWidget* BuildWorkbenchPage();
    QWidget* BuildSearchPage();
    void ConnectSearchPage();
    QWidget* BuildInventoryPage();
    void ConnectInventoryPage();
    // The names of the ticked archives of the inventory page.
    std::vector<std::string> TickedArchives() const;
    // The line of the search page about archives that could not be read; hidden when none.
    void ShowSearchFailures();
    // The ticked hits, one version per name (the user picks among several); false: cancelled.
    // The ticked hits, one version per place (with places: in the installation, else by name).
    bool TickedHits(std::vector<std::size_t>& hits, const tavik::TTavikFSNames* places);
    // Restores the hits to their places (chosen empty) or below chosen.
    void RestoreHits(const std::vector<std::size_t>& hits, const std::string& chosen, const char* context);
    void ConnectSystemPages();
    void BindCandidates(tavik::TVTVRList& view, tavik::TVRList* table);
    void ConnectWorkbench();

    // Tells the user that a command is still running when that is so (the caller then stops).
    bool RefuseWhileRunning();
    void Verify(tavik::TArchivVerifyMode mode);
    void Extract(const std::vector<int>* indexes);
    // Before packing: the engine object must be the one of the archive the user chose.
    void EnsureChosenArchiv();
    void Pack(bool addToExisting);

    friend class TWorkbenchCommand;

    void GetSelectedFilesSize(tavik::TVTVRList& view, int& count, int& markedCount, std::int64_t& bytes,
                              std::int64_t& markedBytes);
    void AlleEin_VST(tavik::TVTVRList& view);
    void AlleUms_VST(tavik::TVTVRList& view);

    std::shared_ptr<tavik::TChoosers> FChoosers;
    std::unique_ptr<tavik::TVRList> FArchivInhalt;
    // One hit of the search page; its row's hidden column holds its position here.
    struct TSucheHit {
        std::string Archive;
        int Number = 0;
        std::string Name;
        std::int64_t Size = 0;
        tavik::TDateTime Modified{};
    };
    std::unique_ptr<tavik::TVRList> FSuche;
    std::vector<TSucheHit> FSucheHits;
    // The archives the last search could not read, by path, with the reason.
    std::map<std::string, std::string> FSucheFailures;
    int FSucheIndexCol = -1;
    bool FSearchRunning = false;
    bool FSearchAborted = false;
    tavik::TArchivFormatAbstract* FSucheArchiv = nullptr;  // the engine object of a running restore
    int FArchivInhaltIndexCol = -1;
    std::unique_ptr<tavik::TVRList> FArchivbestand;
    bool FInventoryRunning = false;
    bool FInventoryAborted = false;
    bool FShown = false;
    bool FCommandRunning = false;
};

// The main window; empty until start-up has created it.
extern TfrmVendrask* frmVendrask;

}  // namespace vendrask
