// Time of one programming pass of the device layer: erase, write of the 64 words and verify
// of one image. Against an in-memory driver the pass must stay under 50 us, so the device
// layer is never what a production line waits for; against the simulated bench in fast mode
// the figure shows what the bench's own file-backed state adds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "eepromimage.h"
#include "memorydriver.h"
#include "mvdriver.h"

#ifdef BENCH_DEVICE_WITH_BENCH
#include "benchcontrol.h"
#endif

namespace {

constexpr double kGoalMicroseconds = 50.0;

void ProgrammingPass(benchmark::State& state) {
    eemint::TEepromImage image;
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    for (auto _ : state) {
        const bool ok = image.Erase() && image.WriteAll() && image.Verify();
        if (!ok) {
            state.SkipWithError("the programming pass failed");
            break;
        }
        benchmark::DoNotOptimize(image);
    }
}

void BM_PassMemoryDriver(benchmark::State& state) {
    testsupport::MemoryDriver driver;
    eemint::ScopedDriver scoped(driver);
    ProgrammingPass(state);
}
BENCHMARK(BM_PassMemoryDriver)->Unit(benchmark::kMicrosecond);

#ifdef BENCH_DEVICE_WITH_BENCH
void BM_PassBenchFast(benchmark::State& state) {
    if (!mvbench::Reset() || !mvbench::SetTiming(mvbench::Timing::Fast)) {
        state.SkipWithError(("the bench could not be set up: " + mvbench::LastError()).c_str());
        return;
    }
    eemint::ScopedDriver scoped(eemint::SystemDriver());
    ProgrammingPass(state);
}
BENCHMARK(BM_PassBenchFast)->Unit(benchmark::kMicrosecond);
#endif

// Prints the usual table and keeps the memory-driver figure for the verdict line.
class Reporter : public benchmark::ConsoleReporter {
public:
    double memoryMicroseconds = -1;
    bool failed = false;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) failed = true;
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double us = run.GetAdjustedRealTime();  // in the benchmark's unit, microseconds
            std::printf("%s: %.2f us per pass\n", run.benchmark_name().c_str(), us);
            if (run.benchmark_name().rfind("BM_PassMemoryDriver", 0) == 0) memoryMicroseconds = us;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.memoryMicroseconds < 0) {
        std::printf("device pass against the in-memory driver: not measured (goal: under %.0f us)\n",
                    kGoalMicroseconds);
        return 1;
    }
    const bool holds = !reporter.failed && reporter.memoryMicroseconds < kGoalMicroseconds;
    std::printf("device pass against the in-memory driver: %.2f us per pass (goal: under %.0f us)%s\n",
                reporter.memoryMicroseconds, kGoalMicroseconds, holds ? "" : " -- goal missed");
    return holds ? 0 : 1;
}
