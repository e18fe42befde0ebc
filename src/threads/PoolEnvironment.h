#pragma once
// What the worker pools read from the machine: a millisecond tick count, the number of
// processors and the processor load. A pool takes it as an object, shared with its
// workers, so that tests drive time and load by hand; the program uses the system's.

#include <cstdint>
#include <memory>

namespace threads {

class TPoolEnvironment
{
public:
    virtual ~TPoolEnvironment() = default;
    // Monotonic milliseconds. The count wraps at 2^32, so ticks are only ever compared
    // by their unsigned difference.
    virtual std::uint32_t TickCount() = 0;
    // Processors online; 0 or less when unknown.
    virtual int ProcessorCount() = 0;
    // Busy share of all processors in percent since the previous call; negative when
    // the figures cannot be read.
    virtual double ProcessorLoad() = 0;
};

// The machine's figures: the monotonic clock, sysconf and /proc/stat. One process-wide
// object, since the load is measured against the previous sample of every caller.
std::shared_ptr<TPoolEnvironment> SystemPoolEnvironment();

} // namespace threads
