#pragma once
// A benchmark's view of the interface thread: a timer ticks every 5 ms on the event
// loop, and the longest time between two ticks is how long the loop stalled. Shared by
// the benchmarks that run work beside a live event loop.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

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
        m_ticker.start();
    }
    qint64 stop()
    {
        tick();
        m_ticker.stop();
        return m_clock.nsecsElapsed();
    }
    qint64 maxGapMs() const { return m_maxGap / 1000000; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGap = std::max(m_maxGap, now - m_lastTick);
        m_lastTick = now;
    }
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_maxGap = 0;
};
