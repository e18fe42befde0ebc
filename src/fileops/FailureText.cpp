#include "fileops/FailureText.h"

#include "shell/ShellPaths.h"

namespace fileops {

QString FailureText(const QString& action, int error)
{
    return QStringLiteral("%1 nicht möglich: %2").arg(action, shell::SystemErrorText(error));
}

QString FailureText(const QString& action, int error, const QString& kept)
{
    return FailureText(action, error) + u' ' + kept;
}

} // namespace fileops
