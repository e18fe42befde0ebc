#pragma once
// Numbers as the interface writes them: fixed notation, the decimal separator of the
// system's conventions (ConventionsLocale), no group separator.

#include <QString>

namespace platform {

QString fixed2(double value);

} // namespace platform
