#include "app/Application.h"

#include "controls/GermanInterface.h"

#include <QApplication>

QString ApplicationTitle()
{
    return QStringLiteral("Fegmann 1.0");
}

void PrepareApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Fegmann"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    InstallGermanTranslations(app);
}
