#pragma once
// A benchmark's view of the interface thread: a timer ticks every 5 ms on the event
// loop, and the longest time between two ticks is how long the loop stalled. Beside it
// the longest such stretch in the thread's own processor time, which on a machine busy
// with other programs still shows the work that held the loop. Shared by the benchmarks
// that run work beside a live event loop.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <ctime>

// Measures how long the event loop goes without running, from start() on.
class GapMeter
{
public:
    GapMeter()
    {
        m_ticker.setInterval(5);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_clock.start();
        m_lastTick = 0;
        m_lastCpu = threadCpuNs();
        m_ticker.start();
    }
    qint64 stop()
    {
        tick();
        m_ticker.stop();
        return m_clock.nsecsElapsed();
    }
    qint64 maxGapMs() const { return m_maxGap / 1000000; }
    qint64 maxCpuGapMs() const { return m_maxCpuGap / 1000000; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGap = std::max(m_maxGap, now - m_lastTick);
        m_lastTick = now;
        const qint64 cpu = threadCpuNs();
        m_maxCpuGap = std::max(m_maxCpuGap, cpu - m_lastCpu);
        m_lastCpu = cpu;
    }
    static qint64 threadCpuNs()
    {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_maxGap = 0;
    qint64 m_lastCpu = 0;
    qint64 m_maxCpuGap = 0;
};
