#include "controls/ControlResources.h"

#include <QtCore/qglobal.h>

#include <mutex>

void TControlResources::EnsureLoaded()
{
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(controls); });
}
