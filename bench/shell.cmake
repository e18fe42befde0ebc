# Benchmarks of the namespace.
