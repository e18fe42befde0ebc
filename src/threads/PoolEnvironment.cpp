#include "threads/PoolEnvironment.h"

#include <QFile>
#include <chrono>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace threads {

namespace {

// Idle time of all processors together (idle and waiting for I/O), in 100 ns units.
bool readIdleTime(std::uint64_t& idle)
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    // "cpu user nice system idle iowait ..."
    if (fields.size() < 6 || fields[0] != "cpu")
        return false;
    bool okIdle = false, okWait = false;
    const std::uint64_t ticks = fields[4].toULongLong(&okIdle) + fields[5].toULongLong(&okWait);
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    if (!okIdle || !okWait || perSecond <= 0)
        return false;
    idle = ticks * (10000000 / std::uint64_t(perSecond));
    return true;
}

class SystemEnvironment : public TPoolEnvironment
{
public:
    std::uint32_t TickCount() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }

    int ProcessorCount() override { return int(::sysconf(_SC_NPROCESSORS_ONLN)); }

    double ProcessorLoad() override
    {
        std::lock_guard lock(m_mutex);
        const bool first = m_previousIdle == 0;
        double result = -1.0;
        for (int sample = 0; sample < (first ? 2 : 1); ++sample) {
            const int processors = ProcessorCount();
            std::uint64_t idle = 0;
            timespec ts{};
            if (processors <= 0 || !readIdleTime(idle) ||
                ::clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
                return -1.0;
            const std::uint64_t now =
                std::uint64_t(ts.tv_sec) * 10000000 + std::uint64_t(ts.tv_nsec) / 100;
            const double idleDelta = double(idle) - double(m_previousIdle);
            const double timeDelta = double(now) - double(m_previousNow);
            result =
                timeDelta != 0 ? 100.0 - (idleDelta / timeDelta) * 100.0 / processors + 0.5 : 100.0;
            m_previousIdle = idle;
            m_previousNow = now;
        }
        return result;
    }

private:
    std::mutex m_mutex;
    std::uint64_t m_previousIdle = 0;
    std::uint64_t m_previousNow = 0;
};

} // namespace

std::shared_ptr<TPoolEnvironment> SystemPoolEnvironment()
{
    static const std::shared_ptr<TPoolEnvironment> environment =
        std::make_shared<SystemEnvironment>();
    return environment;
}

} // namespace threads
