#pragma once
// Reproducible synthetic folder trees of sparse files for the benchmarks and the
// larger tests: the same kind, counts and seed give the same tree.

#include <cstdint>
#include <string>

struct GeneratedTree
{
    std::int64_t folders = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// kind: "wide-deep" (a random tree of folders, files spread over them), "flat" (all
// folders directly below the root) or "deep" (a chain of nested folders with one
// file each, deeper than PATH_MAX). Returns false and says why on standard error
// when the tree cannot be made.
bool generateTree(const std::string& kind, std::int64_t files, std::int64_t folders,
                  std::uint64_t seed, const std::string& outDir, GeneratedTree& made);
