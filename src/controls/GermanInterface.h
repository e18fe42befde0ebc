#pragma once
// The interface speaks German throughout, whatever the system's locale: Qt's own
// dialogs (message boxes, progress dialogs, the folder chooser) take their texts from
// Qt's German translations, which this installs into the application once.

class QCoreApplication;

// Installs Qt's German translations; false when they are not on this system (the
// standard dialogs then keep Qt's English).
bool InstallGermanTranslations(QCoreApplication& app);
