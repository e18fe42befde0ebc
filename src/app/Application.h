#pragma once
// The program as a whole: its name and title, and the set-up every process that shows
// the program's windows makes before the first window (the program itself and the tools
// that take its pictures), so that they all look and speak the same.

#include <QString>

class QApplication;

// "Fegmann 1.0": the application's title, for the few places that name the program
// rather than a window (the start-up failure's message box).
QString ApplicationTitle();

// Names the application and installs the German texts of Qt's dialogs. The title is not
// made Qt's display name: Qt would append it to every window's caption.
void PrepareApplication(QApplication& app);
