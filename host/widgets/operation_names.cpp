#include "host/widgets/operation_names.h"

#include <map>

namespace tavik {

namespace {

const std::map<std::string, const char*, std::less<>>& Names() {
    static const std::map<std::string, const char*, std::less<>> names{
        // start-up
        {"vendrask", "Programmstart"},
        {"TDirExplorer.Execute", "Verzeichnis durchsuchen"},
        // task module
        {"TdmOlvexArchiv.DataModuleCreate", "Archivverwaltung starten"},
        {"TdmOlvexArchiv.DataModuleDestroy", "Archivverwaltung beenden"},
        {"TdmOlvexArchiv.OlvexRoot", "Olvex-Installation finden"},
        {"TdmOlvexArchiv.GetROBJTab", "Objekttabelle öffnen"},
        {"TdmOlvexArchiv.GetTavikFSNames", "Olvex-Verzeichnisse lesen"},
        {"TdmOlvexArchiv.GetSystemArch", "Archivliste anlegen"},
        {"TdmOlvexArchiv.GetSystemDel", "Löschliste anlegen"},
        {"TdmOlvexArchiv.SetArchivFileName", "Archivdatei öffnen"},
        {"TdmOlvexArchiv.ExploreSystem", "System durchsuchen"},
        {"TdmOlvexArchiv.ExploreSystem_AddArch", "Datei zum Archivieren vormerken"},
        {"TdmOlvexArchiv.ExploreSystem_AddDel", "Datei zum Löschen vormerken"},
        {"TdmOlvexArchiv.ArchInitialize", "Archivieren vorbereiten"},
        {"TdmOlvexArchiv.ArchCreateFileName", "Namen der Archivdatei bilden"},
        {"TdmOlvexArchiv.ArchExecute", "Dateien archivieren"},
        {"TdmOlvexArchiv.ArchDeleteFiles", "Archivierte Dateien löschen"},
        {"TdmOlvexArchiv.ArchivOnCommandItemStart", "Datei der Archivdatei bearbeiten"},
        {"TdmOlvexArchiv.ArchivOnCommandItemProgress", "Fortschritt anzeigen"},
        {"TdmOlvexArchiv.ArchivOnCommandProgress", "Fortschritt anzeigen"},
        {"TdmOlvexArchiv.ArchivOnError", "Fehler der Archivdatei behandeln"},
        {"TdmOlvexArchiv.DeleteExecute", "Dateien löschen"},
        {"TdmOlvexArchiv.AutoArchExecuteAll", "Automatisch archivieren"},
        {"TdmOlvexArchiv.AutoDeleteExecuteAll", "Automatisch löschen"},
        // main window
        {"TfrmVendrask.FormCreate", "Hauptfenster anlegen"},
        {"TfrmVendrask.FormShow", "Hauptfenster anzeigen"},
        {"TfrmVendrask.FormDestroy", "Hauptfenster schließen"},
        {"TfrmVendrask.spbEndeClick", "Programm beenden"},
        {"TfrmVendrask.spbSystemRefreshClick", "Anzeige aktualisieren"},
        {"TfrmVendrask.spbSystemArchClick", "Markierte Dateien archivieren"},
        {"TfrmVendrask.spbSystemDelClickClick", "Markierte Dateien löschen"},
        {"TfrmVendrask.vrtSystemInitNode", "Kandidatenliste anzeigen"},
        {"TfrmVendrask.vrtSystemChecked", "Markierung ändern"},
        {"TfrmVendrask.GetSelectedFilesSize", "Markierte Dateien zählen"},
        {"TfrmVendrask.spbAlleEinClick", "Alle Einträge markieren"},
        {"TfrmVendrask.spbAlleEinClick.AlleEin_VST", "Alle Einträge markieren"},
        {"TfrmVendrask.spbAlleUmsClick", "Markierung umkehren"},
        {"TfrmVendrask.spbAlleUmsClick.AlleUms_VST", "Markierung umkehren"},
        {"TfrmVendrask.spbOpenFilesClick", "Archivdatei auswählen"},
        {"TfrmVendrask.ArchivAnzeigen", "Archivdatei anzeigen"},
        {"GetFileSize", "Größe der Archivdatei ermitteln"},
        {"TfrmVendrask.ArchivFileProgress", "Fortschritt anzeigen"},
        {"TfrmVendrask.ArchivTotalProgress", "Fortschritt anzeigen"},
        {"TfrmVendrask.ArchivCommandEnd", "Vorgang abschließen"},
        {"TfrmVendrask.spbAbortOperationClick", "Operation abbrechen"},
        {"TfrmVendrask.vrtArchivInhaltInitNode", "Inhalt der Archivdatei anzeigen"},
        {"TfrmVendrask.spbVerifySimpleClick", "Archivdatei prüfen (einfach)"},
        {"TfrmVendrask.spbVerifyCompleteClick", "Archivdatei prüfen (vollständig)"},
        {"TfrmVendrask.spbDecompressSelClick", "Dateien entpacken (selektierte)"},
        {"TfrmVendrask.spbDecompressAllClick", "Dateien entpacken (vollständig)"},
        {"TfrmVendrask.spbCompressNewClick", "Dateien packen (neue Archivdatei)"},
        {"TfrmVendrask.spbCompressAddClick", "Dateien packen (Archivdatei erweitern)"},
        {"TfrmVendrask.spbSpanClick", "Archivdatei aufteilen"},
        {"TfrmVendrask.spbMergeClick", "Archivdatei zusammenfügen"},
        {"TfrmVendrask.spbSucheClick", "Archive durchsuchen"},
        {"TfrmVendrask.vstSucheInitNode", "Trefferliste anzeigen"},
        {"TfrmVendrask.vstSucheDblClick", "Archivdatei des Treffers öffnen"},
        {"TfrmVendrask.spbWiederherstellenClick", "Markierte Dateien wiederherstellen"},
        {"TfrmVendrask.spbSucheEntpackenClick", "Markierte Dateien entpacken"},
        {"TfrmVendrask.lblSucheFehlerLinkActivated", "Nicht lesbare Archivdateien anzeigen"},
        {"TfrmVendrask.ShowInventory", "Archivbestand anzeigen"},
        {"TfrmVendrask.vrtArchivbestandInitNode", "Archivbestand anzeigen"},
        {"TfrmVendrask.spbArchivbestandPruefenClick", "Archive jetzt prüfen"},
        {"TfrmVendrask.spbArchivbestandBerichtClick", "Bericht als PDF speichern"},
        {"TfrmVendrask.spbArchivbestandExportClick", "Jahr exportieren"},
        // add-files dialog
        {"TfrmArchivAdd.FormCreate", "Dialog zum Hinzufügen anlegen"},
        {"TfrmArchivAdd.FormShow", "Dialog zum Hinzufügen anzeigen"},
        {"TfrmArchivAdd.spbAddFileClick", "Dateien hinzufügen"},
        {"TfrmArchivAdd.spbAddFolderClick", "Verzeichnis hinzufügen"},
        {"TfrmArchivAdd.spbDeleteClick", "Eintrag aus der Liste entfernen"},
        {"TfrmArchivAdd.spbOKClick", "Dateiliste übernehmen"},
        {"TfrmArchivAdd.spbCancelClick", "Hinzufügen abbrechen"},
        {"TfrmArchivAdd.FormDestroy", "Dialog zum Hinzufügen schließen"},
        // span dialog
        {"TfrmArchivSpan.FormCreate", "Dialog zum Aufteilen anlegen"},
        {"TfrmArchivSpan.FormShow", "Dialog zum Aufteilen anzeigen"},
        {"TfrmArchivSpan.spbTargetClick", "Zielverzeichnis auswählen"},
        {"TfrmArchivSpan.rbtUserdefinedClick", "Dateigröße festlegen"},
        {"TfrmArchivSpan.spbOKClick", "Ziel und Dateigröße übernehmen"},
        {"TfrmArchivSpan.spbAbbrechenClick", "Aufteilen abbrechen"},
    };
    return names;
}

}  // namespace

QString OperationName(const std::string& context) {
    const auto found = Names().find(context);
    return found == Names().end() ? QString::fromStdString(context) : QString::fromUtf8(found->second);
}

bool HasOperationName(const std::string& context) { return Names().count(context) > 0; }

}  // namespace tavik
