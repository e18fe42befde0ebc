#include "shell/ShellStartup.h"

#include "shell/ShellFolderObject.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QStandardPaths>
#include <atomic>

namespace shell {

namespace {

std::atomic_int g_starts{0};

bool themeExists(const QString& name)
{
    for (const QString& base : QIcon::themeSearchPaths()) {
        if (QFile::exists(base + u'/' + name + QStringLiteral("/index.theme")))
            return true;
    }
    return false;
}

} // namespace

bool ShellStartup(QString* error)
{
    if (g_starts.fetch_add(1) > 0)
        return true;
    // Without a desktop session (offscreen, tests, a bare window manager) Qt knows no
    // theme; the data folders hold the installed ones.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString icons = QDir(data).filePath(QStringLiteral("icons"));
        if (!paths.contains(icons) && QDir(icons).exists())
            paths.append(icons);
    }
    if (!paths.contains(QStringLiteral("/usr/share/icons")))
        paths.append(QStringLiteral("/usr/share/icons"));
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || !themeExists(QIcon::themeName())) {
        for (const QString& candidate :
             {QStringLiteral("Adwaita"), QStringLiteral("breeze"), QStringLiteral("hicolor")}) {
            if (themeExists(candidate)) {
                QIcon::setThemeName(candidate);
                break;
            }
        }
    }
    if (QIcon::fallbackThemeName().isEmpty())
        QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
    if (!ShellFolderObject::desktop()) {
        if (error)
            *error = QStringLiteral("Shell components: Cannot open Shell!");
        g_starts.fetch_sub(1);
        return false;
    }
    return true;
}

void ShellShutdown()
{
    int n = g_starts.load();
    while (n > 0 && !g_starts.compare_exchange_weak(n, n - 1)) {
    }
}

bool ShellIsStarted()
{
    return g_starts.load() > 0;
}

QByteArray SystemDriveRoot()
{
    return QByteArrayLiteral("/");
}

} // namespace shell
