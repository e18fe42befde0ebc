#pragma once
// Numbers as the interface writes them: fixed notation, the locale's decimal
// separator, no group separator.

#include <QString>

namespace platform {

QString fixed2(double value);

} // namespace platform
