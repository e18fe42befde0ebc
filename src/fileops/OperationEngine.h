#pragma once
// Carries out one Operation on the calling thread: trash, delete for good, copy, move,
// link, restore from the trash, empty the trash, rename. Questions go to the host,
// progress to the counters, and everything that happened into the returned report.
// OperationJob runs it on a worker thread; the benchmark and tests call it directly.

#include "fileops/Operation.h"
#include "fileops/OperationHost.h"
#include "fileops/OperationProgress.h"
#include "fileops/OperationReport.h"

#include <atomic>

namespace fileops {

class OperationEngine
{
public:
    static OperationReport run(const Operation& operation, OperationHost& host,
                               OperationProgress& progress, const std::atomic_bool& cancel);
};

} // namespace fileops
