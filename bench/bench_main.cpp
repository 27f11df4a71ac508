// bench_main.cpp - the entry point shared by every benchmark in bench/.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
