#include "app/Application.h"

#include "app/ProgramVersion.h"
#include "controls/GermanInterface.h"

#include <QApplication>
#include <QIcon>

QString ApplicationTitle()
{
    return QStringLiteral("Fegmann " FEGMANN_VERSION);
}

void PrepareApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Fegmann"));
    QApplication::setApplicationVersion(QStringLiteral(FEGMANN_VERSION));
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(FEGMANN_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(FEGMANN_APP_ID)));
    InstallGermanTranslations(app);
}
