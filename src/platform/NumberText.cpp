#include "platform/NumberText.h"

#include "platform/InterfaceLocale.h"

namespace platform {

QString fixed2(double value)
{
    QLocale locale = ConventionsLocale();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

} // namespace platform
