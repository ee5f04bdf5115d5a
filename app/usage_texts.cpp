#include "app/usage_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vendrask {

namespace {

struct TProgramTexts {
    const char* Name;
    const char* Help;
};

constexpr const char* kVendraskHelp =
    "Aufruf: vendrask [SCHALTER ...]\n"
    "Archivverwaltung für Olvex: archiviert und löscht die Dateien, die eine Suche in den\n"
    "Verzeichnissen der Olvex-Installation von OLVEX_ROOT findet.\n"
    "\n"
    "  (ohne Schalter)    Hauptfenster öffnen\n"
    "  -A                 suchen, dann alle Archivkandidaten archivieren\n"
    "  -L                 suchen, dann alle Löschkandidaten löschen\n"
    "  -AUTO              ohne Ausgabe bei Erfolg (der übliche nächtliche Aufruf: -AUTO -A -L)\n"
    "  -D:VERZ,VERZ       nur die genannten Olvex-Verzeichnisse bearbeiten\n"
    "  --help, -h         diese Hilfe zeigen\n"
    "  --version          Version zeigen\n"
    "\n"
    "Schalter beginnen mit - oder /, Groß- und Kleinschreibung ist gleich.\n"
    "Exit-Status: 0 Erfolg, 1 etwas ist fehlgeschlagen (Gründe auf der Standardfehlerausgabe),\n"
    "2 keine brauchbare Olvex-Installation.\n"
    "Mehr in: man vendrask\n";

constexpr const char* kVendraskArchivHelp =
    "Aufruf: vendrask-archiv BEFEHL ARGUMENTE ...\n"
    "Befehle der Archiv-Werkbank auf der Kommandozeile.\n"
    "\n"
    "  list ARCHIV                   Inhalt anzeigen: NR, GRÖSSE, Datum, NAME je Zeile\n"
    "  verify [--complete] [--password-file DATEI] ARCHIV\n"
    "                                Archiv prüfen (einfach oder vollständig)\n"
    "  extract [--overwrite] [--password-file DATEI] ARCHIV ZIELVERZ [NR ...]\n"
    "                                alle oder die genannten Einträge entpacken\n"
    "  --password-file DATEI         Kennwort verschlüsselter Einträge aus der ersten Zeile\n"
    "                                von DATEI (nie auf der Kommandozeile)\n"
    "  pack ARCHIV PFAD ...          Dateien und Verzeichnisse in ein neues Archiv packen\n"
    "  add ARCHIV PFAD ...           Dateien und Verzeichnisse dem Archiv hinzufügen\n"
    "  span ARCHIV ZIELVERZ GRÖSSE   Archiv in Teile von GRÖSSE Bytes aufteilen (oder auto)\n"
    "  merge ARCHIV ZIELVERZ         Teile eines Archivs zusammenfügen\n"
    "  find [--dir VERZ] MUSTER ...  alle Archive in VERZ (sonst ARCHIV der Installation) nach\n"
    "                                Namen durchsuchen: ARCHIV, NR, GRÖSSE, Datum, NAME je Treffer\n"
    "  restore [--to VERZ] [--overwrite] ARCHIV NR ...\n"
    "                                Einträge an ihren Platz in der Installation (oder unter VERZ)\n"
    "                                zurücklegen; andere vorhandene Dateien nur mit --overwrite ersetzen\n"
    "  journal [--from DATUM] [--to DATUM] [ARCHIVVERZ]\n"
    "                                Journal von ARCHIVVERZ (sonst ARCHIV der Installation) zeigen:\n"
    "                                eine Zeile je Eintrag, Spalten wie in der Kopfzeile; DATUM als\n"
    "                                JJJJ-MM-TT, beide Tage eingeschlossen\n"
    "  journal --check [--head KOPF ...] [ARCHIVVERZ]\n"
    "                                Verkettung des Journals prüfen; Status 1 nennt den ersten\n"
    "                                veränderten oder fehlenden Eintrag; KOPF muss darin vorkommen\n"
    "  verify-all [--max-duration MINUTEN] [ARCHIVVERZ]\n"
    "                                die Archive vollständig prüfen, die am längsten nicht geprüften\n"
    "                                zuerst; Status 1, wenn eines fehlerhaft oder überfällig ist\n"
    "  report [--csv] [ARCHIVVERZ]   Archivbestand: letzte Prüfung, Ergebnis, Zustand je Archiv\n"
    "  retention [ARCHIVVERZ]        Aufbewahrungsfrist je Archiv und was der nächste Löschlauf täte\n"
    "  hold [on --reason GRUND | off [--reason GRUND]] [ARCHIVVERZ]\n"
    "                                Löschsperre setzen, aufheben oder zeigen\n"
    "  procedure [ARCHIVVERZ]        wie in dieser Installation archiviert wird\n"
    "                                (Verfahrensdokumentation)\n"
    "  export --year JAHR ZIEL [ARCHIVVERZ]\n"
    "                                die archivierten Dateien des Jahres (je Name der letzte\n"
    "                                Stand) als BagIt-Paket (RFC 8493) in das neue Verzeichnis ZIEL\n"
    "  --help, -h                    diese Hilfe zeigen\n"
    "  --version                     Version zeigen\n"
    "\n"
    "Exit-Status: 0 Erfolg, 1 Befehl fehlgeschlagen oder abgelehnt (Grund auf der\n"
    "Standardfehlerausgabe), 2 falscher Aufruf.\n"
    "Mehr in: man vendrask-archiv\n";

constexpr const char* kOlvexhostHelp =
    "Aufruf: olvexhost BEFEHL ARGUMENTE ...\n"
    "Legt Olvex-Installationen für vendrask an und erklärt, was dessen Suche findet.\n"
    "\n"
    "  init VERZEICHNIS [MANDANT]   neue, leere Olvex-Installation anlegen\n"
    "  demo VERZEICHNIS             Olvex-Installation mit Beispieldaten anlegen\n"
    "  candidates                   Kandidaten der Installation von OLVEX_ROOT zeigen\n"
    "  explain DATEI                zeigen, was die Suche aus einer Datei macht\n"
    "  --help, -h                   diese Hilfe zeigen\n"
    "  --version                    Version zeigen\n"
    "\n"
    "Exit-Status: 0 Erfolg, 1 fehlgeschlagen, 2 falscher Aufruf oder keine brauchbare\n"
    "Olvex-Installation.\n"
    "Mehr in: man olvexhost\n";

TProgramTexts TextsOf(TProgram program) {
    switch (program) {
        case TProgram::Vendrask: return {"vendrask", kVendraskHelp};
        case TProgram::VendraskArchiv: return {"vendrask-archiv", kVendraskArchivHelp};
        case TProgram::Olvexhost: return {"olvexhost", kOlvexhostHelp};
    }
    return {"vendrask", kVendraskHelp};
}

}  // namespace

bool AnswerInfoRequest(TProgram program, int argc, char** argv) {
    // vendrask takes switches only, so a question counts anywhere: "vendrask -L --help" must not
    // delete anything first. The others take names of files after their command, and a file may
    // be named "-h": there only the first argument asks.
    const int last = program == TProgram::Vendrask ? argc - 1 : std::min(argc - 1, 1);
    bool help = false, version = false;
    for (int i = 1; i <= last; ++i) {
        help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
        version = version || std::strcmp(argv[i], "--version") == 0;
    }
    const TProgramTexts texts = TextsOf(program);
    if (help)
        std::fputs(texts.Help, stdout);
    else if (version)
        std::printf("%s %s\n", texts.Name, VENDRASK_VERSION);
    return help || version;
}

const char* ProgramVersion() { return VENDRASK_VERSION; }

}  // namespace vendrask
