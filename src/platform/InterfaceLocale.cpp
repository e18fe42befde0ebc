#include "platform/InterfaceLocale.h"

#include <atomic>
#include <optional>

namespace platform {

namespace {

std::optional<QLocale> g_conventions;
std::atomic_bool g_kept{false};

} // namespace

void UseGermanInterface()
{
    if (g_kept.load(std::memory_order_acquire))
        return;
    g_conventions = QLocale();
    g_kept.store(true, std::memory_order_release);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

QLocale ConventionsLocale()
{
    return g_kept.load(std::memory_order_acquire) ? *g_conventions : QLocale();
}

} // namespace platform
