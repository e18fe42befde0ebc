#pragma once
// The interface speaks German whatever the system's locale, and Qt's own texts (the
// descriptions of MIME types among them) follow QLocale's default; numbers and the
// order of names keep the conventions of the system. Both are settled once at
// start-up, before any other thread runs.

#include <QLocale>

namespace platform {

// Makes German QLocale's default and keeps the locale it replaces (the system's, or
// the one a test set) for numbers and names. Only the first call has an effect.
void UseGermanInterface();
// The locale whose decimal separator numbers take and whose rules order names: the
// default that UseGermanInterface replaced, or QLocale's default before it ran.
QLocale ConventionsLocale();

} // namespace platform
