# Benchmarks of the background work.
add_executable(size_bench size_bench.cpp)
target_link_libraries(size_bench PRIVATE fegmann_core)
