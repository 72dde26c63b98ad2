// Benchmark program (filled in with the export and import measurements).
#include <benchmark/benchmark.h>
BENCHMARK_MAIN();
