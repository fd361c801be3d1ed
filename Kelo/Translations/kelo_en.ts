<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="nl">
<context>
    <name>DateStamp</name>
    <message>
        <source>KELO</source>
        <translation>KELO</translation>
    </message>
</context>
<context>
    <name>FileManagerIntegration</name>
    <message>
        <source>Deze bestandsbeheerder leest alleen menu’s die voor alle gebruikers zijn geïnstalleerd.</source>
        <translation>This file manager reads only menus installed for all users.</translation>
    </message>
    <message>
        <source>Het programma kelo-finder is niet gevonden.</source>
        <translation>The program kelo-finder was not found.</translation>
    </message>
    <message>
        <source>Het pad van kelo-finder bevat een %-teken: %1</source>
        <translation>The path of kelo-finder contains a % sign: %1</translation>
    </message>
    <message>
        <source>Kan de map %1 niet maken.</source>
        <translation>Could not create the folder %1.</translation>
    </message>
    <message>
        <source>Het menu %1 ontbreekt in Kelo.</source>
        <translation>The menu %1 is missing from Kelo.</translation>
    </message>
    <message>
        <source>Kan %1 niet schrijven: %2</source>
        <translation>Could not write %1: %2</translation>
    </message>
    <message>
        <source>Kan %1 niet verwijderen: %2</source>
        <translation>Could not remove %1: %2</translation>
    </message>
</context>
<context>
    <name>RowActions</name>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Toon in map</source>
        <translation>Show in Folder</translation>
    </message>
    <message>
        <source>Verlengen</source>
        <translation>Extend</translation>
    </message>
    <message>
        <source>%1 vanaf vandaag</source>
        <translation>%1 from today</translation>
    </message>
    <message>
        <source>Altijd houden</source>
        <translation>Keep Forever</translation>
    </message>
    <message>
        <source>Naar prullenbak</source>
        <translation>Move to Trash</translation>
    </message>
</context>
<context>
    <name>kelo::ByteCount</name>
    <message>
        <source>1 byte</source>
        <translation>1 byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 bytes</translation>
    </message>
</context>
<context>
    <name>kelo::FetchProcess</name>
    <message>
        <source>%1 was na %2 seconden nog niet binnen.</source>
        <translation>%1 had not arrived after %2 seconds.</translation>
    </message>
    <message>
        <source>Kon %1 niet ophalen: het hulpprogramma %2 start niet (%3).</source>
        <translation>Could not fetch %1: the helper program %2 does not start (%3).</translation>
    </message>
    <message>
        <source>Geannuleerd.</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>%1 is groter dan de %2 bytes die Kelo verwacht.</source>
        <translation>%1 is larger than the %2 bytes Kelo expects.</translation>
    </message>
    <message>
        <source>Kon de download niet wegschrijven.</source>
        <translation>Could not write the download.</translation>
    </message>
    <message>
        <source>Kon %1 niet ophalen: het hulpprogramma %2 stopte onverwacht.</source>
        <translation>Could not fetch %1: the helper program %2 stopped unexpectedly.</translation>
    </message>
</context>
<context>
    <name>kelo::FreedesktopNotificationCenter</name>
    <message>
        <source>Openen</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>kelo::FreshnessStyle</name>
    <message>
        <source>Over de datum</source>
        <translation>Expired</translation>
    </message>
    <message>
        <source>Deze week over de datum</source>
        <translation>Expiring this week</translation>
    </message>
    <message>
        <source>Binnen een maand</source>
        <translation>Within a month</translation>
    </message>
    <message>
        <source>Nog lang houdbaar</source>
        <translation>Fresh for a while</translation>
    </message>
    <message>
        <source>nog %1 dagen</source>
        <translation>%1 days left</translation>
    </message>
    <message>
        <source>nog 1 dag</source>
        <translation>1 day left</translation>
    </message>
    <message>
        <source>vandaag over de datum</source>
        <translation>expired today</translation>
    </message>
    <message>
        <source>sinds gisteren over de datum</source>
        <translation>expired yesterday</translation>
    </message>
    <message>
        <source>%1 dagen over de datum</source>
        <translation>expired %1 days ago</translation>
    </message>
    <message>
        <source>1 week</source>
        <translation>1 week</translation>
    </message>
    <message>
        <source>1 maand</source>
        <translation>1 month</translation>
    </message>
    <message>
        <source>3 maanden</source>
        <translation>3 months</translation>
    </message>
    <message>
        <source>1 jaar</source>
        <translation>1 year</translation>
    </message>
</context>
<context>
    <name>kelo::IntegrationDialog</name>
    <message>
        <source>Kelo in je bestandsbeheerder</source>
        <translation>Kelo in your file manager</translation>
    </message>
    <message>
        <source>Het menu kon niet worden aangepast</source>
        <translation>The menu could not be changed</translation>
    </message>
    <message>
        <source>Het menu Kelo verschijnt als je met rechts op een bestand klikt. Zo staat het in je bestandsbeheerders:</source>
        <translation>The Kelo menu appears when you right-click a file. This is how it stands in your file managers:</translation>
    </message>
    <message>
        <source>Bestanden (Nautilus)</source>
        <translation>Files (Nautilus)</translation>
    </message>
    <message>
        <source>Dolphin</source>
        <translation>Dolphin</translation>
    </message>
    <message>
        <source>Nemo</source>
        <translation>Nemo</translation>
    </message>
    <message>
        <source>Herstart Bestanden met ‘nautilus -q’ nadat Kelo is geïnstalleerd. Elders geeft ‘kelo-finder pick 0 -- BESTAND’ een bestand 1 week; ‘kelo-finder --help’ vertelt meer.</source>
        <translation>Restart Files with ‘nautilus -q’ after installing Kelo. Elsewhere, ‘kelo-finder pick 0 -- FILE’ gives a file 1 week; ‘kelo-finder --help’ tells more.</translation>
    </message>
    <message>
        <source>Sluiten</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Menu staat aan voor jou</source>
        <translation>Menu is on for you</translation>
    </message>
    <message>
        <source>Menu staat aan voor alle gebruikers</source>
        <translation>Menu is on for all users</translation>
    </message>
    <message>
        <source>Menu staat uit: het komt met het Kelo-pakket</source>
        <translation>Menu is off: it comes with the Kelo package</translation>
    </message>
    <message>
        <source>Menu staat uit</source>
        <translation>Menu is off</translation>
    </message>
    <message>
        <source>Niet gevonden op deze computer</source>
        <translation>Not found on this computer</translation>
    </message>
    <message>
        <source>Uitzetten</source>
        <translation>Turn off</translation>
    </message>
    <message>
        <source>Aanzetten</source>
        <translation>Turn on</translation>
    </message>
</context>
<context>
    <name>kelo::Reminder</name>
    <message>
        <source>Er is nu niets over de datum. Zo ziet de melding er op vrijdag uit.</source>
        <translation>Nothing is past its date right now. This is how the notification looks on Friday.</translation>
    </message>
    <message>
        <source>1 bestand is over de datum (%1).</source>
        <translation>1 file is past its date (%1).</translation>
    </message>
    <message>
        <source>%1 bestanden zijn over de datum (%2).</source>
        <translation>%1 files are past their date (%2).</translation>
    </message>
    <message>
        <source>Tijd om op te ruimen (proefmelding)</source>
        <translation>Time to clean up (test notification)</translation>
    </message>
    <message>
        <source>Tijd om op te ruimen</source>
        <translation>Time to clean up</translation>
    </message>
</context>
<context>
    <name>kelo::ReviewListModel</name>
    <message>
        <source>%1, deels aangevinkt</source>
        <translation>%1, partly ticked</translation>
    </message>
</context>
<context>
    <name>kelo::ReviewSheet</name>
    <message>
        <source>Opruimen</source>
        <translation>Clean Up</translation>
    </message>
    <message>
        <source>Deze bestanden zijn over de datum. Vink uit wat je wilt houden; dat blijft op het schap staan.</source>
        <translation>These files are past their date. Untick what you want to keep; it stays on the shelf.</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>%1 van %2 · %3</source>
        <translation>%1 of %2 · %3</translation>
    </message>
    <message>
        <source>%1 van %2 · %3, telt nog…</source>
        <translation>%1 of %2 · %3, still counting…</translation>
    </message>
    <message>
        <source>%1 van %2 · %3…</source>
        <translation>%1 of %2 · %3…</translation>
    </message>
    <message>
        <source>1 bestand naar prullenbak</source>
        <translation>Move 1 File to Trash</translation>
    </message>
    <message>
        <source>%1 bestanden naar prullenbak</source>
        <translation>Move %1 Files to Trash</translation>
    </message>
</context>
<context>
    <name>kelo::SafeFetch</name>
    <message>
        <source>Geannuleerd.</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>%1 komt niet via https; Kelo haalt updates alleen via https op.</source>
        <translation>%1 is not served over https; Kelo only fetches updates over https.</translation>
    </message>
    <message>
        <source>%1 is groter dan de %2 bytes die Kelo verwacht.</source>
        <translation>%1 is larger than the %2 bytes Kelo expects.</translation>
    </message>
    <message>
        <source>Kon de download niet wegschrijven.</source>
        <translation>Could not write the download.</translation>
    </message>
    <message>
        <source>Te veel omleidingen vanaf %1.</source>
        <translation>Too many redirects from %1.</translation>
    </message>
    <message>
        <source>%1 gaf binnen %2 seconden geen antwoord.</source>
        <translation>%1 did not answer within %2 seconds.</translation>
    </message>
    <message>
        <source>%1 was na %2 seconden nog niet binnen.</source>
        <translation>%1 had not arrived after %2 seconds.</translation>
    </message>
    <message>
        <source>%1 antwoordde met HTTP-status %2.</source>
        <translation>%1 answered with HTTP status %2.</translation>
    </message>
    <message>
        <source>Kon %1 niet ophalen: %2</source>
        <translation>Could not fetch %1: %2</translation>
    </message>
</context>
<context>
    <name>kelo::ShelfListModel</name>
    <message>
        <source>%1, 1 bestand</source>
        <translation>%1, 1 file</translation>
    </message>
    <message>
        <source>%1, %2 bestanden</source>
        <translation>%1, %2 files</translation>
    </message>
</context>
<context>
    <name>kelo::ShelfListView</name>
    <message>
        <source>Bestanden</source>
        <translation>Files</translation>
    </message>
</context>
<context>
    <name>kelo::ShelfRowDelegate</name>
    <message>
        <source>Opruimen…</source>
        <translation>Clean Up…</translation>
    </message>
</context>
<context>
    <name>kelo::ShelfWindow</name>
    <message>
        <source>Alles is nog vers</source>
        <translation>Everything is still fresh</translation>
    </message>
    <message>
        <source>Geen bestanden met een datum. Klik in je bestandsbeheerder met rechts op een bestand en kies Kelo ▸ een termijn.</source>
        <translation>No files with a date. Right-click a file in your file manager and choose Kelo ▸ a period.</translation>
    </message>
    <message>
        <source>Kelo</source>
        <translation>Kelo</translation>
    </message>
    <message>
        <source>Datum zetten: rechtsklik in je bestandsbeheerder ▸ Kelo</source>
        <translation>To set a date: right-click in your file manager ▸ Kelo</translation>
    </message>
    <message>
        <source>Extensies…</source>
        <translation>Extensions…</translation>
    </message>
    <message>
        <source>%1 over de datum</source>
        <translation>%1 expired</translation>
    </message>
    <message>
        <source>Eerstvolgende: %1</source>
        <translation>Next: %1</translation>
    </message>
    <message>
        <source>Geen systeemvak op dit bureaublad, dus Kelo’s icoon is niet te zien. Op GNOME geeft de extensie ‘AppIndicator and KStatusNotifierItem Support’ (pakket gnome-shell-extension-appindicator) er een.</source>
        <translation>No tray on this desktop, so Kelo’s icon is not visible. On GNOME, the extension ‘AppIndicator and KStatusNotifierItem Support’ (package gnome-shell-extension-appindicator) adds one.</translation>
    </message>
</context>
<context>
    <name>kelo::TrayMenu</name>
    <message>
        <source>Opruimen…</source>
        <translation>Clean Up…</translation>
    </message>
    <message>
        <source>Schap openen</source>
        <translation>Open Shelf</translation>
    </message>
    <message>
        <source>Start bij inloggen</source>
        <translation>Start at Login</translation>
    </message>
    <message>
        <source>Stop Kelo</source>
        <translation>Quit Kelo</translation>
    </message>
    <message>
        <source>Alles is nog vers</source>
        <translation>Everything is still fresh</translation>
    </message>
    <message>
        <source>%1 over de datum</source>
        <translation>%1 expired</translation>
    </message>
    <message>
        <source>Zoek naar updates…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message>
        <source>Update naar %1 installeren…</source>
        <translation>Install Update to %1…</translation>
    </message>
</context>
<context>
    <name>kelo::Updater</name>
    <message>
        <source>De updatefeed is onleesbaar: %1</source>
        <translation>The update feed cannot be read: %1</translation>
    </message>
    <message>
        <source>Kon niet op updates controleren</source>
        <translation>Could not check for updates</translation>
    </message>
    <message>
        <source>Kelo %1 is beschikbaar</source>
        <translation>Kelo %1 is available</translation>
    </message>
    <message>
        <source>Klik om de update te bekijken.</source>
        <translation>Click to see the update.</translation>
    </message>
    <message>
        <source>Kon de update niet installeren</source>
        <translation>Could not install the update</translation>
    </message>
    <message>
        <source>De updatefeed noemt de grootte van de update niet.</source>
        <translation>The update feed does not give the size of the update.</translation>
    </message>
    <message>
        <source>De update is groter dan de %1 bytes die Kelo toestaat.</source>
        <translation>The update is larger than the %1 bytes Kelo allows.</translation>
    </message>
    <message>
        <source>De update is niet ondertekend.</source>
        <translation>The update is not signed.</translation>
    </message>
    <message>
        <source>Kon de map %1 niet aanmaken.</source>
        <translation>Could not create the folder %1.</translation>
    </message>
    <message>
        <source>Kon %1 niet aanmaken: %2</source>
        <translation>Could not create %1: %2</translation>
    </message>
    <message>
        <source>Kon de download niet wegschrijven.</source>
        <translation>Could not write the download.</translation>
    </message>
    <message>
        <source>Geen programma op deze computer opent %1.</source>
        <translation>No program on this computer opens %1.</translation>
    </message>
    <message>
        <source>Kelo %1 downloaden…</source>
        <translation>Downloading Kelo %1…</translation>
    </message>
    <message>
        <source>De download is %1 bytes, de updatefeed noemt er %2.</source>
        <translation>The download is %1 bytes; the update feed says %2.</translation>
    </message>
    <message>
        <source>Kon %1 niet lezen: %2</source>
        <translation>Could not read %1: %2</translation>
    </message>
    <message>
        <source>De handtekening van de update klopt niet; Kelo heeft de download verwijderd.</source>
        <translation>The update&apos;s signature does not match; Kelo has deleted the download.</translation>
    </message>
</context>
<context>
    <name>kelo::UpdaterUi</name>
    <message>
        <source>Kelo %1 is beschikbaar</source>
        <translation>Kelo %1 is available</translation>
    </message>
    <message>
        <source>Je hebt versie %1.</source>
        <translation>You have version %1.</translation>
    </message>
    <message>
        <source>Wat is er nieuw?</source>
        <translation>What&apos;s new?</translation>
    </message>
    <message>
        <source>Installeren</source>
        <translation>Install</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>Kelo is bij de tijd</source>
        <translation>Kelo is up to date</translation>
    </message>
    <message>
        <source>Je hebt versie %1, de nieuwste.</source>
        <translation>You have version %1, the newest.</translation>
    </message>
    <message>
        <source>Annuleren</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
