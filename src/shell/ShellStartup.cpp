#include "shell/ShellStartup.h"

#include "platform/InterfaceLocale.h"
#include "shell/ShellFolderObject.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
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

// Whether the theme, with the themes it inherits, has the generic icon of file types.
// Leaves the theme set to `name`.
bool drawsFileTypes(const QString& name)
{
    if (name.isEmpty() || !themeExists(name))
        return false;
    QIcon::setThemeName(name);
    // Without a GUI application no icon is looked up (the table draws its pictures).
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    return QIcon::hasThemeIcon(QStringLiteral("text-x-generic"));
}

} // namespace

bool ShellStartup(QString* error)
{
    if (g_starts.fetch_add(1) > 0)
        return true;
    // Type names and Qt's other texts in German, numbers and names in the system's ways.
    platform::UseGermanInterface();
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
    // Under X without a desktop Qt reports "hicolor", which exists but holds no icons of
    // file types: every file would get the blank icon. A theme that cannot draw them
    // gives way to the first installed one that can.
    const QString reported = QIcon::themeName();
    if (!drawsFileTypes(reported)) {
        QString chosen = themeExists(reported) ? reported : QStringLiteral("hicolor");
        for (const QString& candidate : {QStringLiteral("Adwaita"), QStringLiteral("breeze")}) {
            if (drawsFileTypes(candidate)) {
                chosen = candidate;
                break;
            }
        }
        QIcon::setThemeName(chosen);
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
