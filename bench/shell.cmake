# Benchmarks of the namespace.
add_executable(shell_bench shell_bench.cpp)
target_link_libraries(shell_bench PRIVATE fegmann_core)
