#include "platform/NumberText.h"

#include <QLocale>

namespace platform {

QString fixed2(double value)
{
    QLocale locale; // the system's, unless a test has set another default
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

} // namespace platform
