#pragma once
// The interface speaks German throughout, whatever the system's locale: Qt's own
// dialogs (message boxes, progress dialogs, the folder chooser) take their texts from
// Qt's German translations, and the names of keys in menus and tips are German, both
// installed into the application once.

class QCoreApplication;

// Installs Qt's German translations and the German key names; false when Qt's
// translations are not on this system (the standard dialogs then keep Qt's English,
// the key names are German all the same).
bool InstallGermanTranslations(QCoreApplication& app);
