#pragma once
// The German sentences of the operation reports: what could not be done and why.

#include <QString>

namespace fileops {

// "<action> nicht möglich: <the system's reason>", for example
// "Kopieren nicht möglich: Auf dem Datenträger ist nicht genügend Speicherplatz."
QString FailureText(const QString& action, int error);
// The same, followed by what stayed as it was ("Die Quelle bleibt unverändert.").
QString FailureText(const QString& action, int error, const QString& kept);

} // namespace fileops
