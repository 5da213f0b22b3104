<?xml version="1.0" encoding="utf-8"?>
<!-- SPDX-License-Identifier: GPL-3.0-or-later -->
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>TAboutBox</name>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Product Name</source>
        <translation>Produktname</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Copyright</source>
        <translation>Copyright</translation>
    </message>
    <message>
        <source>Comments</source>
        <translation>Kommentare</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TAboutBoxVKQ</name>
    <message>
        <source>May not be reproduced without permission</source>
        <translation>Vervielfältigung nur mit Genehmigung</translation>
    </message>
    <message>
        <source>WebSite</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>About Vantor&apos;s %1</source>
        <translation>Über Vantors %1</translation>
    </message>
</context>
<context>
    <name>TBrowseFolderDialog</name>
    <message>
        <source>Browse for Folder</source>
        <translation>Ordner suchen</translation>
    </message>
</context>
<context>
    <name>TFormMain</name>
    <message>
        <source>Rename files by date &amp; slot name</source>
        <translation>Dateien nach Datum &amp; Slot-Namen umbenennen</translation>
    </message>
    <message>
        <source>Non-standard MPD files</source>
        <translation>Nicht genormte MPD-Dateien</translation>
    </message>
    <message>
        <source>Proposed names</source>
        <translation>Vorgeschlagene Namen</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Select folder with data files.</source>
        <translation>Ordner mit Datendateien auswählen.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open folder...</source>
        <translation>Ordner ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;Info...</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Undo last rename</source>
        <translation>Letzte Umbenennung rückgängig machen</translation>
    </message>
    <message>
        <source>Show problems</source>
        <translation>Probleme zeigen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>These files could not be read or renamed:</source>
        <translation>Diese Dateien konnten nicht gelesen oder umbenannt werden:</translation>
    </message>
    <message>
        <source>Waiting for the rename journal, held by another quillon process</source>
        <translation>Warte auf das Umbenennungsjournal, das ein anderer Quillon-Prozess belegt</translation>
    </message>
    <message>
        <source>Reading the folder</source>
        <translation>Lese den Ordner</translation>
    </message>
    <message>
        <source>Reading headers: %L1 of %L2</source>
        <translation>Lese Dateiköpfe: %L1 von %L2</translation>
    </message>
    <message>
        <source>Renaming: %L1 of %L2</source>
        <translation>Umbenennen: %L1 von %L2</translation>
    </message>
    <message>
        <source>Taking back the last rename</source>
        <translation>Nehme die letzte Umbenennung zurück</translation>
    </message>
    <message>
        <source>, %L1 not readable</source>
        <translation>, %L1 nicht lesbar</translation>
    </message>
    <message>
        <source>Stopped after renaming %L1 of %L2 files</source>
        <translation>Angehalten nach %L1 von %L2 umbenannten Dateien</translation>
    </message>
    <message>
        <source>Renamed 1 file</source>
        <translation>1 Datei umbenannt</translation>
    </message>
    <message>
        <source>Renamed %L1 files</source>
        <translation>%L1 Dateien umbenannt</translation>
    </message>
    <message>
        <source>, %L1 not renamed</source>
        <translation>, %L1 nicht umbenannt</translation>
    </message>
    <message>
        <source>Took back 1 file</source>
        <translation>1 Datei zurückbenannt</translation>
    </message>
    <message>
        <source>Took back %L1 files</source>
        <translation>%L1 Dateien zurückbenannt</translation>
    </message>
    <message>
        <source>Stopped: %L1 files listed</source>
        <translation>Angehalten: %L1 Dateien aufgelistet</translation>
    </message>
    <message>
        <source>1 file to rename</source>
        <translation>1 Datei umzubenennen</translation>
    </message>
    <message>
        <source>%L1 files to rename</source>
        <translation>%L1 Dateien umzubenennen</translation>
    </message>
    <message>
        <source>The rename journal %1 cannot be written, so the renaming stopped before the next file (renames that are not journaled could not be undone).</source>
        <translation>Das Umbenennungsjournal %1 kann nicht geschrieben werden, daher wurde das Umbenennen vor der nächsten Datei angehalten (nicht im Journal erfasste Umbenennungen ließen sich nicht rückgängig machen).</translation>
    </message>
    <message>
        <source>These files were left as they are, nothing was replaced:</source>
        <translation>Diese Dateien blieben, wie sie sind; nichts wurde ersetzt:</translation>
    </message>
</context>
<context>
    <name>TListDialog</name>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
