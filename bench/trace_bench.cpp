// The cost of the trace bracket when tracing is off: one call of an
// operation with the bracket against the same call without it.
#include <benchmark/benchmark.h>

#include "kv7/trace/trace.h"

namespace {

[[gnu::noinline]] HRESULT Plain(int value) {
  benchmark::DoNotOptimize(value);
  return value > 0 ? S_OK : E_FAIL;
}

[[gnu::noinline]] HRESULT Traced(int value) {
  KV7_TRACE_ENTRY("TraceBench::Traced", 2, "TraceBench");
  benchmark::DoNotOptimize(value);
  return KV7_TRACE_RETURN(value > 0 ? S_OK : E_FAIL);
}

void BM_CallWithoutBracket(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Plain(1));
}

void BM_CallWithBracketTracingOff(benchmark::State& state) {
  traceOn = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Traced(1));
}

BENCHMARK(BM_CallWithoutBracket);
BENCHMARK(BM_CallWithBracketTracingOff);

}  // namespace

BENCHMARK_MAIN();
