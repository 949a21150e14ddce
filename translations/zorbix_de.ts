<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ABBrowserController</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Property</source>
        <translation>Eigenschaft</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>Persons: %1</source>
        <translation>Personen: %1</translation>
    </message>
    <message>
        <source>Persons: %1 of %2</source>
        <translation>Personen: %1 von %2</translation>
    </message>
</context>
<context>
    <name>ABBrowserWindow</name>
    <message>
        <source>Contact Details</source>
        <translation>Kontaktdetails</translation>
    </message>
    <message>
        <source>Share and number of records</source>
        <translation>Freigabe und Anzahl der Einträge</translation>
    </message>
    <message>
        <source>Persons of the share</source>
        <translation>Personen der Freigabe</translation>
    </message>
    <message>
        <source>Values of the selected person</source>
        <translation>Werte der ausgewählten Person</translation>
    </message>
    <message>
        <source>Download &amp;Again</source>
        <translation>&amp;Erneut herunterladen</translation>
    </message>
    <message>
        <source>Download the records of this share again</source>
        <translation>Die Einträge dieser Freigabe erneut herunterladen</translation>
    </message>
    <message>
        <source>Add to &amp;Address Book</source>
        <translation>Zum &amp;Adressbuch hinzufügen</translation>
    </message>
    <message>
        <source>Copy the person shown into your address book</source>
        <translation>Die angezeigte Person in Ihr Adressbuch kopieren</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>E&amp;xportieren …</translation>
    </message>
    <message>
        <source>Export the records of this share to a CSV file</source>
        <translation>Die Einträge dieser Freigabe in eine CSV-Datei exportieren</translation>
    </message>
    <message>
        <source>&amp;Find:</source>
        <translation>&amp;Suchen:</translation>
    </message>
    <message>
        <source>Find a person</source>
        <translation>Person suchen</translation>
    </message>
    <message>
        <source>Shows only the persons whose first or last name, company or e-mail address contains this text</source>
        <translation>Zeigt nur die Personen, deren Vor- oder Nachname, Firma oder E-Mail-Adresse diesen Text enthält</translation>
    </message>
    <message>
        <source>Name, company or e-mail</source>
        <translation>Name, Firma oder E-Mail</translation>
    </message>
    <message>
        <source>Number of persons shown</source>
        <translation>Anzahl der gezeigten Personen</translation>
    </message>
</context>
<context>
    <name>ABFoldersView</name>
    <message>
        <source>AB Folders</source>
        <translation>Adressbuchordner</translation>
    </message>
    <message>
        <source>Choose the groups of your address book whose members you share. Persons in no shared group are not shared.</source>
        <translation>Wählen Sie die Gruppen Ihres Adressbuchs, deren Mitglieder Sie freigeben. Personen, die in keiner freigegebenen Gruppe sind, werden nicht freigegeben.</translation>
    </message>
    <message>
        <source>Not shared</source>
        <translation>Nicht freigegeben</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>Share the selected group</source>
        <translation>Die ausgewählte Gruppe freigeben</translation>
    </message>
    <message>
        <source>&gt;&gt;</source>
        <translation>&gt;&gt;</translation>
    </message>
    <message>
        <source>Share all groups</source>
        <translation>Alle Gruppen freigeben</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>Stop sharing the selected group</source>
        <translation>Die Freigabe der ausgewählten Gruppe beenden</translation>
    </message>
    <message>
        <source>&lt;&lt;</source>
        <translation>&lt;&lt;</translation>
    </message>
    <message>
        <source>Stop sharing all groups</source>
        <translation>Die Freigabe aller Gruppen beenden</translation>
    </message>
    <message>
        <source>Shared</source>
        <translation>Freigegeben</translation>
    </message>
</context>
<context>
    <name>AddStaticWindow</name>
    <message>
        <source>Add Server</source>
        <translation>Server hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>Office address book</source>
        <translation>Adressbuch im Büro</translation>
    </message>
    <message>
        <source>&amp;Host:</source>
        <translation>&amp;Rechner:</translation>
    </message>
    <message>
        <source>host name or IP address</source>
        <translation>Rechnername oder IP-Adresse</translation>
    </message>
    <message>
        <source>&amp;Port:</source>
        <translation>&amp;Port:</translation>
    </message>
    <message>
        <source>9879</source>
        <translation>9879</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>AddressBookLoader</name>
    <message>
        <source>Loading the address book…</source>
        <translation>Das Adressbuch wird geladen …</translation>
    </message>
</context>
<context>
    <name>BrowseWindow</name>
    <message>
        <source>Shared Address Books</source>
        <translation>Freigegebene Adressbücher</translation>
    </message>
    <message>
        <source>&amp;Find:</source>
        <translation>&amp;Suchen:</translation>
    </message>
    <message>
        <source>Part of a share name</source>
        <translation>Teil eines Freigabenamens</translation>
    </message>
    <message>
        <source>Shows only the shares whose name contains this text (capitals count)</source>
        <translation>Zeigt nur die Freigaben, deren Name diesen Text enthält (Groß-/Kleinschreibung wird beachtet)</translation>
    </message>
    <message>
        <source>&amp;Shares on this network:</source>
        <translation>&amp;Freigaben in diesem Netzwerk:</translation>
    </message>
    <message>
        <source>Click a share to download its address book</source>
        <translation>Klicken Sie auf eine Freigabe, um ihr Adressbuch herunterzuladen</translation>
    </message>
    <message>
        <source>Servers &amp;entered by hand:</source>
        <translation>Von &amp;Hand eingetragene Server:</translation>
    </message>
    <message>
        <source>No share loaded yet</source>
        <translation>Noch keine Freigabe geladen</translation>
    </message>
    <message>
        <source>The card its sharer sent with the last download:</source>
        <translation>Die Karte, die der Anbieter mit dem letzten Download gesendet hat:</translation>
    </message>
    <message>
        <source>Business</source>
        <translation>Geschäftlich</translation>
    </message>
    <message>
        <source>First name:</source>
        <translation>Vorname:</translation>
    </message>
    <message>
        <source>Last name:</source>
        <translation>Nachname:</translation>
    </message>
    <message>
        <source>Department:</source>
        <translation>Abteilung:</translation>
    </message>
    <message>
        <source>Phone:</source>
        <translation>Telefon:</translation>
    </message>
    <message>
        <source>Mobile:</source>
        <translation>Mobiltelefon:</translation>
    </message>
    <message>
        <source>Project:</source>
        <translation>Projekt:</translation>
    </message>
    <message>
        <source>E-mail:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>Write Mail</source>
        <translation>Mail schreiben</translation>
    </message>
    <message>
        <source>Write a mail to the sharer&apos;s business address</source>
        <translation>Eine Mail an die geschäftliche Adresse des Anbieters schreiben</translation>
    </message>
    <message>
        <source>Private</source>
        <translation>Privat</translation>
    </message>
    <message>
        <source>Interests:</source>
        <translation>Interessen:</translation>
    </message>
    <message>
        <source>Web site:</source>
        <translation>Website:</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Open the sharer&apos;s web site in your browser</source>
        <translation>Die Website des Anbieters in Ihrem Browser öffnen</translation>
    </message>
    <message>
        <source>Write a mail to the sharer&apos;s private address</source>
        <translation>Eine Mail an die private Adresse des Anbieters schreiben</translation>
    </message>
    <message>
        <source>Comments:</source>
        <translation>Kommentare:</translation>
    </message>
    <message>
        <source>Add Card to My Address Book</source>
        <translation>Karte zu meinem Adressbuch hinzufügen</translation>
    </message>
    <message>
        <source>Add the sharer&apos;s card to your address book as a new person</source>
        <translation>Die Karte des Anbieters als neue Person zu Ihrem Adressbuch hinzufügen</translation>
    </message>
    <message>
        <source>Show Records…</source>
        <translation>Einträge anzeigen …</translation>
    </message>
    <message>
        <source>Show the downloaded persons one by one</source>
        <translation>Die heruntergeladenen Personen einzeln anzeigen</translation>
    </message>
    <message>
        <source>Connection state</source>
        <translation>Verbindungsstatus</translation>
    </message>
    <message>
        <source>No download yet</source>
        <translation>Noch kein Download</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbindung wird hergestellt</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Fortschritt des Downloads</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop the running download (Esc)</source>
        <translation>Den laufenden Download abbrechen (Esc)</translation>
    </message>
    <message>
        <source>Receiving</source>
        <translation>Empfang läuft</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>Download fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>CSVWriter</name>
    <message>
        <source>the encoding %1 is not available</source>
        <translation>die Zeichenkodierung %1 ist nicht verfügbar</translation>
    </message>
</context>
<context>
    <name>ContactWindow</name>
    <message>
        <source>Contact quenfold</source>
        <translation>quenfold kontaktieren</translation>
    </message>
    <message>
        <source>Mail to quenfold</source>
        <translation>Mail an quenfold</translation>
    </message>
    <message>
        <source>Writes a mail to quenfold</source>
        <translation>Schreibt eine Mail an quenfold</translation>
    </message>
    <message>
        <source>quenfold Web Site</source>
        <translation>Website von quenfold</translation>
    </message>
    <message>
        <source>Opens quenfold&apos;s web site</source>
        <translation>Öffnet die Website von quenfold</translation>
    </message>
    <message>
        <source>Mail to Sales</source>
        <translation>Mail an den Vertrieb</translation>
    </message>
    <message>
        <source>Writes a mail to quenfold&apos;s sales</source>
        <translation>Schreibt eine Mail an den Vertrieb von quenfold</translation>
    </message>
    <message>
        <source>Order Page</source>
        <translation>Bestellseite</translation>
    </message>
    <message>
        <source>Opens quenfold&apos;s order page</source>
        <translation>Öffnet die Bestellseite von quenfold</translation>
    </message>
    <message>
        <source>Mail to Support</source>
        <translation>Mail an den Support</translation>
    </message>
    <message>
        <source>Writes a mail to quenfold&apos;s support</source>
        <translation>Schreibt eine Mail an den Support von quenfold</translation>
    </message>
    <message>
        <source>Support Page</source>
        <translation>Support-Seite</translation>
    </message>
    <message>
        <source>Opens quenfold&apos;s support page</source>
        <translation>Öffnet die Support-Seite von quenfold</translation>
    </message>
</context>
<context>
    <name>DownloadWindows</name>
    <message>
        <source>&amp;Export as CSV…</source>
        <translation>Als CSV e&amp;xportieren …</translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation>Ctrl+E</translation>
    </message>
    <message>
        <source>Export &amp;vCards…</source>
        <translation>&amp;vCards exportieren …</translation>
    </message>
    <message>
        <source>&amp;Downloaded Persons…</source>
        <translation>&amp;Heruntergeladene Personen …</translation>
    </message>
    <message>
        <source>Ctrl+D</source>
        <translation>Ctrl+D</translation>
    </message>
    <message>
        <source>&amp;Quick Sync…</source>
        <translation>&amp;Schnellabgleich …</translation>
    </message>
    <message>
        <source>Ctrl+Shift+S</source>
        <translation>Ctrl+Shift+S</translation>
    </message>
</context>
<context>
    <name>ExportController</name>
    <message>
        <source>Text files (*.txt *.csv);;All files (*)</source>
        <translation>Textdateien (*.txt *.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>vCard files (*.vcf);;All files (*)</source>
        <translation>vCard-Dateien (*.vcf);;Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>ExportFile</name>
    <message>
        <source>%1 is a folder</source>
        <translation>%1 ist ein Ordner</translation>
    </message>
</context>
<context>
    <name>ExportFormatWindow</name>
    <message>
        <source>CSV Presets</source>
        <translation>CSV-Vorgaben</translation>
    </message>
    <message>
        <source>Programs that will read the file</source>
        <translation>Programme, die die Datei lesen werden</translation>
    </message>
    <message>
        <source>&amp;OS X applications</source>
        <translation>&amp;OS-X-Programme</translation>
    </message>
    <message>
        <source>&amp;Mac OS 9 applications</source>
        <translation>&amp;Mac-OS-9-Programme</translation>
    </message>
    <message>
        <source>&amp;AppleWorks</source>
        <translation>&amp;AppleWorks</translation>
    </message>
    <message>
        <source>MS Office &amp;v.X</source>
        <translation>MS Office &amp;v.X</translation>
    </message>
    <message>
        <source>&amp;Spreadsheet (RFC 4180)</source>
        <translation>&amp;Tabellenkalkulation (RFC 4180)</translation>
    </message>
    <message>
        <source>Description of the preset</source>
        <translation>Beschreibung der Vorgabe</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Close without changing the export choices</source>
        <translation>Schließen, ohne die Exporteinstellungen zu ändern</translation>
    </message>
    <message>
        <source>&amp;Use Preset</source>
        <translation>Vorgabe ü&amp;bernehmen</translation>
    </message>
    <message>
        <source>Set the export choices for the chosen program</source>
        <translation>Die Exporteinstellungen für das gewählte Programm setzen</translation>
    </message>
</context>
<context>
    <name>ExportWindow</name>
    <message>
        <source>Export as CSV</source>
        <translation>Als CSV exportieren</translation>
    </message>
    <message>
        <source>&amp;Share:</source>
        <translation>&amp;Freigabe:</translation>
    </message>
    <message>
        <source>&amp;Encoding:</source>
        <translation>&amp;Zeichenkodierung:</translation>
    </message>
    <message>
        <source>Values enclosed by</source>
        <translation>Werte eingeschlossen in</translation>
    </message>
    <message>
        <source>&amp;Double quotes</source>
        <translation>&amp;Doppelte Anführungszeichen</translation>
    </message>
    <message>
        <source>S&amp;ingle quotes</source>
        <translation>&amp;Einfache Anführungszeichen</translation>
    </message>
    <message>
        <source>Nothin&amp;g</source>
        <translation>Ni&amp;chts</translation>
    </message>
    <message>
        <source>Double quotes, &amp;quotes inside doubled</source>
        <translation>Doppelte Anführungszeichen, &amp;innere verdoppelt</translation>
    </message>
    <message>
        <source>Values separated by</source>
        <translation>Werte getrennt durch</translation>
    </message>
    <message>
        <source>&amp;Comma between blanks</source>
        <translation>&amp;Komma zwischen Leerzeichen</translation>
    </message>
    <message>
        <source>&amp;Tab</source>
        <translation>&amp;Tabulator</translation>
    </message>
    <message>
        <source>Co&amp;mma</source>
        <translation>Ko&amp;mma</translation>
    </message>
    <message>
        <source>Lines end with</source>
        <translation>Zeilenende</translation>
    </message>
    <message>
        <source>Ne&amp;wline (LF)</source>
        <translation>Zei&amp;lenvorschub (LF)</translation>
    </message>
    <message>
        <source>&amp;Return (CR)</source>
        <translation>&amp;Wagenrücklauf (CR)</translation>
    </message>
    <message>
        <source>Return &amp;and newline (CR LF)</source>
        <translation>Wagenrücklauf &amp;und Zeilenvorschub (CR LF)</translation>
    </message>
    <message>
        <source>Header line</source>
        <translation>Kopfzeile</translation>
    </message>
    <message>
        <source>&amp;Before the records</source>
        <translation>&amp;Vor den Einträgen</translation>
    </message>
    <message>
        <source>A&amp;fter the records</source>
        <translation>&amp;Nach den Einträgen</translation>
    </message>
    <message>
        <source>&amp;None</source>
        <translation>&amp;Ohne</translation>
    </message>
    <message>
        <source>Fi&amp;le:</source>
        <translation>D&amp;atei:</translation>
    </message>
    <message>
        <source>C&amp;hoose…</source>
        <translation>Durc&amp;hsuchen …</translation>
    </message>
    <message>
        <source>Choose the file to export to</source>
        <translation>Die Datei wählen, in die exportiert wird</translation>
    </message>
    <message>
        <source>&amp;Presets…</source>
        <translation>Vor&amp;gaben …</translation>
    </message>
    <message>
        <source>Set the choices above for the program that will read the file</source>
        <translation>Die Einstellungen oben für das Programm setzen, das die Datei lesen wird</translation>
    </message>
    <message>
        <source>E&amp;xport</source>
        <translation>E&amp;xportieren</translation>
    </message>
    <message>
        <source>Write the downloaded records to the file</source>
        <translation>Die heruntergeladenen Einträge in die Datei schreiben</translation>
    </message>
    <message>
        <source>Export and &amp;Open</source>
        <translation>Exportieren und &amp;öffnen</translation>
    </message>
    <message>
        <source>Write the downloaded records to the file and open it</source>
        <translation>Die heruntergeladenen Einträge in die Datei schreiben und sie öffnen</translation>
    </message>
    <message>
        <source>Write values &amp;unchanged, even those a spreadsheet would run as formulas</source>
        <translation>Werte unverändert &amp;schreiben, auch solche, die eine Tabellenkalkulation als Formel ausführen würde</translation>
    </message>
    <message>
        <source>Off: a value that starts like a formula (=, +, -, @) gets a leading apostrophe, so that a spreadsheet shows it as text</source>
        <translation>Aus: Ein Wert, der wie eine Formel beginnt (=, +, -, @), erhält einen Apostroph davor, damit eine Tabellenkalkulation ihn als Text zeigt</translation>
    </message>
</context>
<context>
    <name>GroupTableModel</name>
    <message>
        <source>Group</source>
        <translation>Gruppe</translation>
    </message>
</context>
<context>
    <name>MacSharePage</name>
    <message>
        <source>Share name:</source>
        <translation>Freigabename:</translation>
    </message>
    <message>
        <source>The name under which other computers see your address book. It can be changed while sharing is off.</source>
        <translation>Der Name, unter dem andere Computer Ihr Adressbuch sehen. Er kann geändert werden, solange die Freigabe ausgeschaltet ist.</translation>
    </message>
    <message>
        <source>Your card travels with every download of your address book.</source>
        <translation>Ihre Karte wird mit jedem Download Ihres Adressbuchs mitgesendet.</translation>
    </message>
    <message>
        <source>Business</source>
        <translation>Geschäftlich</translation>
    </message>
    <message>
        <source>First name:</source>
        <translation>Vorname:</translation>
    </message>
    <message>
        <source>Last name:</source>
        <translation>Nachname:</translation>
    </message>
    <message>
        <source>Department:</source>
        <translation>Abteilung:</translation>
    </message>
    <message>
        <source>Phone:</source>
        <translation>Telefon:</translation>
    </message>
    <message>
        <source>Mobile:</source>
        <translation>Mobiltelefon:</translation>
    </message>
    <message>
        <source>Project:</source>
        <translation>Projekt:</translation>
    </message>
    <message>
        <source>E-mail:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>Private</source>
        <translation>Privat</translation>
    </message>
    <message>
        <source>Interests:</source>
        <translation>Interessen:</translation>
    </message>
    <message>
        <source>Web site:</source>
        <translation>Website:</translation>
    </message>
    <message>
        <source>Comments:</source>
        <translation>Kommentare:</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Einstellungen sichern</translation>
    </message>
    <message>
        <source>Keep the share name, your card and the shared groups for the next start.</source>
        <translation>Den Freigabenamen, Ihre Karte und die freigegebenen Gruppen für den nächsten Start behalten.</translation>
    </message>
</context>
<context>
    <name>MailAccountDialog</name>
    <message>
        <source>Mail Account for Reports</source>
        <translation>Mail-Konto für Berichte</translation>
    </message>
    <message>
        <source>Reports are sent through this mail account. The password is kept in your desktop&apos;s keyring.</source>
        <translation>Berichte werden über dieses Mail-Konto gesendet. Das Passwort wird im Schlüsselbund Ihrer Arbeitsumgebung aufbewahrt.</translation>
    </message>
    <message>
        <source>&amp;Mail server:</source>
        <translation>&amp;Mail-Server:</translation>
    </message>
    <message>
        <source>smtp.example.org</source>
        <translation>smtp.example.org</translation>
    </message>
    <message>
        <source>&amp;Security:</source>
        <translation>&amp;Sicherheit:</translation>
    </message>
    <message>
        <source>STARTTLS</source>
        <translation>STARTTLS</translation>
    </message>
    <message>
        <source>TLS</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>None (mail server on this computer only)</source>
        <translation>Keine (nur für einen Mail-Server auf diesem Computer)</translation>
    </message>
    <message>
        <source>&amp;Port:</source>
        <translation>&amp;Port:</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>Pass&amp;word:</source>
        <translation>Pass&amp;wort:</translation>
    </message>
    <message>
        <source>Your mail &amp;address:</source>
        <translation>Ihre Mail-&amp;Adresse:</translation>
    </message>
    <message>
        <source>you@example.org</source>
        <translation>name@example.org</translation>
    </message>
    <message>
        <source>(unchanged)</source>
        <translation>(unverändert)</translation>
    </message>
    <message>
        <source>The mail account is incomplete</source>
        <translation>Das Mail-Konto ist unvollständig</translation>
    </message>
    <message>
        <source>Enter the mail server and your mail address as the sender, for example smtp.example.org and you@example.org.</source>
        <translation>Geben Sie den Mail-Server und Ihre Mail-Adresse als Absender ein, zum Beispiel smtp.example.org und name@example.org.</translation>
    </message>
    <message>
        <source>The connection to the mail server must be encrypted</source>
        <translation>Die Verbindung zum Mail-Server muss verschlüsselt sein</translation>
    </message>
    <message>
        <source>Choose STARTTLS or TLS; only a mail server on this computer may be used without encryption.</source>
        <translation>Wählen Sie STARTTLS oder TLS; nur ein Mail-Server auf diesem Computer darf ohne Verschlüsselung verwendet werden.</translation>
    </message>
    <message>
        <source>The mail account could not be saved</source>
        <translation>Das Mail-Konto konnte nicht gesichert werden</translation>
    </message>
    <message>
        <source>Check that your settings folder (~/.config) is writable.</source>
        <translation>Prüfen Sie, ob Ihr Einstellungsordner (~/.config) beschreibbar ist.</translation>
    </message>
    <message>
        <source>The password could not be stored in your keyring</source>
        <translation>Das Passwort konnte nicht in Ihrem Schlüsselbund abgelegt werden</translation>
    </message>
    <message>
        <source>The password could not be read from your keyring</source>
        <translation>Das Passwort konnte nicht aus Ihrem Schlüsselbund gelesen werden</translation>
    </message>
    <message>
        <source>Your previous mail settings are kept. Type the password again, or check that a keyring service such as GNOME Keyring or KWallet is running. (%1)</source>
        <translation>Ihre bisherigen Mail-Einstellungen bleiben. Geben Sie das Passwort erneut ein oder prüfen Sie, ob ein Schlüsselbunddienst wie GNOME Keyring oder KWallet läuft. (%1)</translation>
    </message>
    <message>
        <source>Your previous mail settings are kept. Check that a keyring service such as GNOME Keyring or KWallet is running, then save again. (%1)</source>
        <translation>Ihre bisherigen Mail-Einstellungen bleiben. Prüfen Sie, ob ein Schlüsselbunddienst wie GNOME Keyring oder KWallet läuft, und sichern Sie dann erneut. (%1)</translation>
    </message>
</context>
<context>
    <name>PreferencesWindow</name>
    <message>
        <source>zorbix Preferences</source>
        <translation>zorbix-Einstellungen</translation>
    </message>
    <message>
        <source>Servers</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Security</source>
        <translation>Sicherheit</translation>
    </message>
</context>
<context>
    <name>QIODevice</name>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
</context>
<context>
    <name>QuickSyncController</name>
    <message>
        <source>First name, last name and company</source>
        <translation>Vorname, Nachname und Firma</translation>
    </message>
    <message>
        <source>First and last name</source>
        <translation>Vor- und Nachname</translation>
    </message>
</context>
<context>
    <name>QuickSyncWindow</name>
    <message>
        <source>Quick Sync</source>
        <translation>Schnellabgleich</translation>
    </message>
    <message>
        <source>Share and number of records</source>
        <translation>Freigabe und Anzahl der Einträge</translation>
    </message>
    <message>
        <source>Copy All</source>
        <translation>Alle kopieren</translation>
    </message>
    <message>
        <source>&amp;Leave out persons already in my address book, matching by:</source>
        <translation>&amp;Personen auslassen, die schon in meinem Adressbuch sind, Abgleich nach:</translation>
    </message>
    <message>
        <source>Properties that tell persons apart</source>
        <translation>Eigenschaften, die Personen unterscheiden</translation>
    </message>
    <message>
        <source>Put the copied persons into a &amp;group</source>
        <translation>Die kopierten Personen in eine &amp;Gruppe legen</translation>
    </message>
    <message>
        <source>Group for the copied persons</source>
        <translation>Gruppe für die kopierten Personen</translation>
    </message>
    <message>
        <source>E&amp;xisting group:</source>
        <translation>&amp;Vorhandene Gruppe:</translation>
    </message>
    <message>
        <source>Existing group</source>
        <translation>Vorhandene Gruppe</translation>
    </message>
    <message>
        <source>&amp;New group:</source>
        <translation>&amp;Neue Gruppe:</translation>
    </message>
    <message>
        <source>Name of the new group</source>
        <translation>Name der neuen Gruppe</translation>
    </message>
    <message>
        <source>&amp;Copy All</source>
        <translation>Alle &amp;kopieren</translation>
    </message>
    <message>
        <source>Copy every person of the share into your address book</source>
        <translation>Jede Person der Freigabe in Ihr Adressbuch kopieren</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Persons of your address book that match a person of the share get the phone numbers, mail addresses, addresses, links and notes they lack. Nothing of yours is changed or removed.</source>
        <translation>Personen Ihres Adressbuchs, die zu einer Person der Freigabe passen, erhalten die Telefonnummern, Mail-Adressen, Anschriften, Links und Notizen, die ihnen fehlen. Nichts von Ihren Daten wird geändert oder entfernt.</translation>
    </message>
    <message>
        <source>&amp;Match by:</source>
        <translation>&amp;Abgleich nach:</translation>
    </message>
    <message>
        <source>&amp;Add persons who match nobody in my address book</source>
        <translation>Personen &amp;hinzufügen, die zu niemandem in meinem Adressbuch passen</translation>
    </message>
    <message>
        <source>Put the added persons into a ne&amp;w group:</source>
        <translation>Die hinzugefügten Personen in eine ne&amp;ue Gruppe legen:</translation>
    </message>
    <message>
        <source>Name of the new group for added persons</source>
        <translation>Name der neuen Gruppe für hinzugefügte Personen</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>Ak&amp;tualisieren</translation>
    </message>
    <message>
        <source>Add what is missing to the persons of your address book</source>
        <translation>Den Personen Ihres Adressbuchs hinzufügen, was ihnen fehlt</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop the copy; your address book stays as it was</source>
        <translation>Das Kopieren abbrechen; Ihr Adressbuch bleibt, wie es war</translation>
    </message>
</context>
<context>
    <name>ReportWindow</name>
    <message>
        <source>Send a Report to quenfold</source>
        <translation>Einen Bericht an quenfold senden</translation>
    </message>
    <message>
        <source>Your &amp;name:</source>
        <translation>Ihr &amp;Name:</translation>
    </message>
    <message>
        <source>Your &amp;mail address:</source>
        <translation>Ihre &amp;Mail-Adresse:</translation>
    </message>
    <message>
        <source>&amp;Kind of report:</source>
        <translation>&amp;Art des Berichts:</translation>
    </message>
    <message>
        <source>Problem</source>
        <translation>Problem</translation>
    </message>
    <message>
        <source>Suggestion</source>
        <translation>Vorschlag</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <source>Praise</source>
        <translation>Lob</translation>
    </message>
    <message>
        <source>&amp;Please answer me by mail</source>
        <translation>Bitte antworten Sie mir &amp;per Mail</translation>
    </message>
    <message>
        <source>M&amp;essage:</source>
        <translation>Na&amp;chricht:</translation>
    </message>
    <message>
        <source>Sending the report</source>
        <translation>Der Bericht wird gesendet</translation>
    </message>
    <message>
        <source>Mail &amp;Account…</source>
        <translation>Mail-&amp;Konto …</translation>
    </message>
    <message>
        <source>Sets up the mail account that reports are sent through</source>
        <translation>Richtet das Mail-Konto ein, über das Berichte gesendet werden</translation>
    </message>
    <message>
        <source>Stop Sending</source>
        <translation>Senden abbrechen</translation>
    </message>
    <message>
        <source>&amp;Send Report</source>
        <translation>Bericht &amp;senden</translation>
    </message>
</context>
<context>
    <name>ReviewWindow</name>
    <message>
        <source>Review zorbix</source>
        <translation>zorbix bewerten</translation>
    </message>
    <message>
        <source>Rate zorbix; your mail program opens a mail with your ratings for your comments.</source>
        <translation>Bewerten Sie zorbix; Ihr Mail-Programm öffnet eine Mail mit Ihren Bewertungen, in die Sie Ihre Kommentare schreiben.</translation>
    </message>
    <message>
        <source>&amp;User interface:</source>
        <translation>&amp;Bedienoberfläche:</translation>
    </message>
    <message>
        <source>Excellent</source>
        <translation>Ausgezeichnet</translation>
    </message>
    <message>
        <source>Good</source>
        <translation>Gut</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Mittelmäßig</translation>
    </message>
    <message>
        <source>Poor</source>
        <translation>Schwach</translation>
    </message>
    <message>
        <source>Bad</source>
        <translation>Schlecht</translation>
    </message>
    <message>
        <source>&amp;Functions:</source>
        <translation>&amp;Funktionen:</translation>
    </message>
    <message>
        <source>&amp;Ease of use:</source>
        <translation>Bedien&amp;komfort:</translation>
    </message>
    <message>
        <source>S&amp;tability:</source>
        <translation>S&amp;tabilität:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Write Review Mail</source>
        <translation>Bewertungsmail &amp;schreiben</translation>
    </message>
</context>
<context>
    <name>SecurityPage</name>
    <message>
        <source>Device name:</source>
        <translation>Gerätename:</translation>
    </message>
    <message>
        <source>Fingerprint:</source>
        <translation>Fingerabdruck:</translation>
    </message>
    <message>
        <source>Devices allowed to download your protected share:</source>
        <translation>Geräte, die Ihre geschützte Freigabe laden dürfen:</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>Zuletzt gesehen</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerabdruck</translation>
    </message>
    <message>
        <source>Approved devices</source>
        <translation>Erlaubte Geräte</translation>
    </message>
    <message>
        <source>Remove Device</source>
        <translation>Gerät entfernen</translation>
    </message>
    <message>
        <source>Protected shares whose certificate you accepted:</source>
        <translation>Geschützte Freigaben, deren Zertifikat Sie angenommen haben:</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Freigabe</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Pinned shares</source>
        <translation>Gemerkte Freigaben</translation>
    </message>
    <message>
        <source>Forget Share</source>
        <translation>Freigabe vergessen</translation>
    </message>
    <message>
        <source>The name shares see when this computer asks for their address book; the host name unless you choose another.</source>
        <translation>Der Name, den Freigaben sehen, wenn dieser Rechner nach ihrem Adressbuch fragt; der Rechnername, sofern Sie keinen anderen wählen.</translation>
    </message>
</context>
<context>
    <name>ShareFilesModel</name>
    <message>
        <source>Shared</source>
        <translation>Freigegeben</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
</context>
<context>
    <name>SharedFileDelegate</name>
    <message>
        <source>&amp;Files to share on the web (drop files here):</source>
        <translation>&amp;Dateien zur Freigabe im Web (Dateien hier ablegen):</translation>
    </message>
    <message>
        <source>Files to share on the web</source>
        <translation>Dateien zur Freigabe im Web</translation>
    </message>
    <message>
        <source>&amp;Details:</source>
        <translation>De&amp;tails:</translation>
    </message>
    <message>
        <source>Details of the chosen file</source>
        <translation>Details der gewählten Datei</translation>
    </message>
</context>
<context>
    <name>StaticServerPrefs</name>
    <message>
        <source>Servers</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Servers that are not announced on the local network can be reached by their host name or address and port.</source>
        <translation>Server, die sich nicht im lokalen Netzwerk ankündigen, sind über ihren Rechnernamen oder ihre Adresse und ihren Port erreichbar.</translation>
    </message>
    <message>
        <source>Add…</source>
        <translation>Hinzufügen …</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Alle entfernen</translation>
    </message>
</context>
<context>
    <name>StaticServerTableModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Rechner</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
</context>
<context>
    <name>StatusPage</name>
    <message>
        <source>Server Status</source>
        <translation>Serverstatus</translation>
    </message>
    <message>
        <source>Browse Shares…</source>
        <translation>Freigaben durchsuchen …</translation>
    </message>
    <message>
        <source>Open the list of shared address books on the network (Ctrl+B)</source>
        <translation>Die Liste der freigegebenen Adressbücher im Netzwerk öffnen (Strg+B)</translation>
    </message>
</context>
<context>
    <name>SupportMenu</name>
    <message>
        <source>Check for &amp;Updates…</source>
        <translation>Nach &amp;Aktualisierungen suchen …</translation>
    </message>
    <message>
        <source>Send a &amp;Report…</source>
        <translation>&amp;Bericht senden …</translation>
    </message>
    <message>
        <source>Write a Re&amp;view…</source>
        <translation>Be&amp;wertung schreiben …</translation>
    </message>
    <message>
        <source>&amp;Contact quenfold…</source>
        <translation>quenfold &amp;kontaktieren …</translation>
    </message>
    <message>
        <source>&amp;Mail Account for Reports…</source>
        <translation>&amp;Mail-Konto für Berichte …</translation>
    </message>
    <message>
        <source>zorbix &amp;Web Page</source>
        <translation>Website von &amp;zorbix</translation>
    </message>
    <message>
        <source>&amp;quenfold Web Page</source>
        <translation>Website von &amp;quenfold</translation>
    </message>
    <message>
        <source>Send &amp;Feedback by Mail…</source>
        <translation>&amp;Rückmeldung per Mail senden …</translation>
    </message>
</context>
<context>
    <name>Toolbar</name>
    <message>
        <source>Customize</source>
        <translation>Anpassen</translation>
    </message>
    <message>
        <source>Flexible Space</source>
        <translation>Flexibler Abstand</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Abstand</translation>
    </message>
    <message>
        <source>Separator</source>
        <translation>Trennlinie</translation>
    </message>
    <message>
        <source>Hide Toolbar</source>
        <translation>Werkzeugleiste ausblenden</translation>
    </message>
    <message>
        <source>Customize Toolbar…</source>
        <translation>Werkzeugleiste anpassen …</translation>
    </message>
</context>
<context>
    <name>ToolbarCustomizeDialog</name>
    <message>
        <source>Customize Toolbar</source>
        <translation>Werkzeugleiste anpassen</translation>
    </message>
    <message>
        <source>Add the items you want to the toolbar, remove the others and put them in order.</source>
        <translation>Fügen Sie der Werkzeugleiste die gewünschten Elemente hinzu, entfernen Sie die anderen und bringen Sie sie in die gewünschte Reihenfolge.</translation>
    </message>
    <message>
        <source>Available items</source>
        <translation>Verfügbare Elemente</translation>
    </message>
    <message>
        <source>Add →</source>
        <translation>Hinzufügen →</translation>
    </message>
    <message>
        <source>← Remove</source>
        <translation>← Entfernen</translation>
    </message>
    <message>
        <source>Move Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Restore Default Set</source>
        <translation>Standard wiederherstellen</translation>
    </message>
</context>
<context>
    <name>TrustController</name>
    <message numerus="yes">
        <source>Without an answer the device is refused in %n seconds.</source>
        <translation>
            <numerusform>Ohne Antwort wird das Gerät in %n Sekunde abgelehnt.</numerusform>
            <numerusform>Ohne Antwort wird das Gerät in %n Sekunden abgelehnt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Who may download:</source>
        <translation>Wer laden darf:</translation>
    </message>
    <message>
        <source>Everyone on this network</source>
        <translation>Jeder in diesem Netzwerk</translation>
    </message>
    <message>
        <source>Only devices I approve</source>
        <translation>Nur Geräte, die ich erlaube</translation>
    </message>
    <message>
        <source>Only devices you approve download over an encrypted connection; each new device is allowed once after you compare a code on both screens.</source>
        <translation>Nur Geräte, die Sie erlauben, laden über eine verschlüsselte Verbindung; jedes neue Gerät wird einmal erlaubt, nachdem Sie einen Code auf beiden Bildschirmen verglichen haben.</translation>
    </message>
    <message>
        <source>A device asks for your address book</source>
        <translation>Ein Gerät fragt nach Ihrem Adressbuch</translation>
    </message>
    <message>
        <source>Allow Once</source>
        <translation>Einmal erlauben</translation>
    </message>
    <message>
        <source>Always Allow</source>
        <translation>Immer erlauben</translation>
    </message>
    <message>
        <source>Deny</source>
        <translation>Ablehnen</translation>
    </message>
    <message>
        <source>Who may download your address book?</source>
        <translation>Wer darf Ihr Adressbuch laden?</translation>
    </message>
    <message>
        <source>Everyone on this network can take the shared groups, and they travel unencrypted. With &quot;Only devices I approve&quot; each new device must be allowed by you once, after you compare a code shown on both screens, and the records travel encrypted.</source>
        <translation>Jeder in diesem Netzwerk kann die freigegebenen Gruppen laden, und sie werden unverschlüsselt übertragen. Mit „Nur Geräte, die ich erlaube“ müssen Sie jedes neue Gerät einmal erlauben, nachdem Sie einen auf beiden Bildschirmen angezeigten Code verglichen haben, und die Einträge werden verschlüsselt übertragen.</translation>
    </message>
    <message>
        <source>Everyone on This Network</source>
        <translation>Jeder in diesem Netzwerk</translation>
    </message>
    <message>
        <source>Only Devices I Approve</source>
        <translation>Nur Geräte, die ich erlaube</translation>
    </message>
</context>
<context>
    <name>UpdateWindow</name>
    <message>
        <source>zorbix Updates</source>
        <translation>zorbix-Aktualisierungen</translation>
    </message>
    <message>
        <source>&amp;About the newest release:</source>
        <translation>&amp;Über die neueste Version:</translation>
    </message>
    <message>
        <source>About the newest release</source>
        <translation>Über die neueste Version</translation>
    </message>
    <message>
        <source>Checking for updates</source>
        <translation>Suche nach Aktualisierungen</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Reads the notes about the newest release from the maker&apos;s web site</source>
        <translation>Liest die Hinweise zur neuesten Version von der Website des Herstellers</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stops the running update check</source>
        <translation>Bricht die laufende Suche nach Aktualisierungen ab</translation>
    </message>
    <message>
        <source>Download Newest Release</source>
        <translation>Neueste Version herunterladen</translation>
    </message>
    <message>
        <source>Opens the download of the newest release in your web browser</source>
        <translation>Öffnet den Download der neuesten Version in Ihrem Webbrowser</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Shares address books on the local network.</source>
        <translation>Gibt Adressbücher im lokalen Netzwerk frei.</translation>
    </message>
    <message>
        <source>vCard files to import.</source>
        <translation>Zu importierende vCard-Dateien.</translation>
    </message>
    <message>
        <source>files</source>
        <translation>Dateien</translation>
    </message>
</context>
<context>
    <name>updateController</name>
    <message>
        <source>Problem loading update data from internet.
Please enable/activate your internet connection!

Or open 

   %1 

 by hand in your browser.</source>
        <translation>Problem beim Laden der Aktualisierungsdaten aus dem Internet.
Bitte stellen Sie Ihre Internetverbindung her!

Oder öffnen Sie 

   %1 

 von Hand in Ihrem Browser.</translation>
    </message>
    <message>
        <source>Problem loading update data from internet.
Please enable/activate your internet connection!
Maybe you have to start your Browser by hand due to a Jaguar/Safari problem.

zorbix tried to open:

 %1</source>
        <translation>Problem beim Laden der Aktualisierungsdaten aus dem Internet.
Bitte stellen Sie Ihre Internetverbindung her!
Vielleicht müssen Sie Ihren Browser wegen eines Jaguar/Safari-Problems von Hand starten.

zorbix hat versucht zu öffnen:

 %1</translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation>Suche läuft …</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>

[The page is longer than %1 KiB; the rest is not shown.]</source>
        <translation>

[Die Seite ist länger als %1 KiB; der Rest wird nicht angezeigt.]</translation>
    </message>
    <message>
        <source>Started your download...</source>
        <translation>Ihr Download wurde gestartet.</translation>
    </message>
</context>
<context>
    <name>vCardBrowserController</name>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>The last download failed</source>
        <translation>Der letzte Download ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>Downloaded</source>
        <translation>Heruntergeladen</translation>
    </message>
    <message>
        <source>Trying to connect...</source>
        <translation>Verbindungsaufbau …</translation>
    </message>
    <message>
        <source>Servers entered by hand</source>
        <translation>Von Hand eingetragene Server</translation>
    </message>
    <message>
        <source>Connected. Receiving...</source>
        <translation>Verbunden. Empfang läuft …</translation>
    </message>
    <message>
        <source>Receiving</source>
        <translation>Empfang läuft</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbindung wird hergestellt</translation>
    </message>
    <message>
        <source>The share has no address yet</source>
        <translation>Die Freigabe hat noch keine Adresse</translation>
    </message>
    <message>
        <source>Download cancelled</source>
        <translation>Download abgebrochen</translation>
    </message>
</context>
<context>
    <name>vCardSharingController</name>
    <message>
        <source>Server Status</source>
        <translation>Serverstatus</translation>
    </message>
    <message>
        <source>Mac Sharing</source>
        <translation>Mac-Freigabe</translation>
    </message>
    <message>
        <source>Web Sharing</source>
        <translation>Web-Freigabe</translation>
    </message>
    <message>
        <source>User Mngmt.</source>
        <translation>Benutzerverw.</translation>
    </message>
    <message>
        <source>Manager Details</source>
        <translation>Verwalterdetails</translation>
    </message>
    <message>
        <source>AB Folders</source>
        <translation>Adressbuchordner</translation>
    </message>
    <message>
        <source>Switch sharing of your address book on and off, and see how many downloads it served.</source>
        <translation>Schalten Sie die Freigabe Ihres Adressbuchs ein und aus und sehen Sie, wie viele Downloads es bedient hat.</translation>
    </message>
    <message>
        <source>The name under which your address book is shared, and your own card that every download carries.</source>
        <translation>Der Name, unter dem Ihr Adressbuch freigegeben wird, und Ihre eigene Karte, die jeder Download mitnimmt.</translation>
    </message>
    <message>
        <source>Files to share on the web. Drop files here to add them.</source>
        <translation>Dateien zur Freigabe im Web. Legen Sie Dateien hier ab, um sie hinzuzufügen.</translation>
    </message>
    <message>
        <source>Users who may download your address book.</source>
        <translation>Benutzer, die Ihr Adressbuch herunterladen dürfen.</translation>
    </message>
    <message>
        <source>Details of the servers that manage your shares.</source>
        <translation>Details der Server, die Ihre Freigaben verwalten.</translation>
    </message>
    <message>
        <source>Choose the groups of your address book that are shared.</source>
        <translation>Wählen Sie die Gruppen Ihres Adressbuchs, die freigegeben werden.</translation>
    </message>
    <message>
        <source>About zorbix %1</source>
        <translation>Über zorbix %1</translation>
    </message>
    <message>
        <source>zorbix shares address books between computers on a local network: switch sharing on to publish the groups you chose with your own card, or pick a share from the list to download, browse, copy and export its records.</source>
        <translation>zorbix gibt Adressbücher zwischen Computern in einem lokalen Netzwerk frei: Schalten Sie die Freigabe ein, um die gewählten Gruppen mit Ihrer eigenen Karte zu veröffentlichen, oder wählen Sie eine Freigabe aus der Liste, um ihre Einträge herunterzuladen, anzusehen, zu kopieren und zu exportieren.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Import Contacts…</source>
        <translation>Kontakte &amp;importieren …</translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation>Ctrl+I</translation>
    </message>
    <message>
        <source>&amp;Preferences…</source>
        <translation>&amp;Einstellungen …</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Show or Hide &amp;Toolbar</source>
        <translation>&amp;Werkzeugleiste ein-/ausblenden</translation>
    </message>
    <message>
        <source>&amp;Customize Toolbar…</source>
        <translation>Werkzeugleiste an&amp;passen …</translation>
    </message>
    <message>
        <source>&amp;Browse Shares…</source>
        <translation>Freigaben &amp;durchsuchen …</translation>
    </message>
    <message>
        <source>Ctrl+B</source>
        <translation>Ctrl+B</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About zorbix</source>
        <translation>&amp;Über zorbix</translation>
    </message>
</context>
</TS>
