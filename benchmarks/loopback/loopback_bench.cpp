// Runs the full loopback test three times on a fresh bench in real timing (request latency
// 0, so only the line and the test's own waits cost time) and compares the median duration
// with the minimum the sequence must wait: twelve 50 ms settle waits (one per line step and
// two in each data group's transfer from the converter), 16 bytes each way at 300 baud and
// 256 bytes each way at 115200 baud, 10 bits a byte. Goal: within 5% of that minimum.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "benchcontrol.h"
#include "devicetests.h"
#include "mvdriver.h"
#include "recordingreporter.h"

namespace {

// The verdict line of a run, or the error that ended it.
std::string Verdict(const testsupport::RecordingReporter& reporter)
{
    if (!reporter.errors.empty())
        return reporter.errors.front();
    for (auto line = reporter.log.rbegin(); line != reporter.log.rend(); ++line)
        if (line->starts_with("DEVICE "))
            return *line;
    return {};
}

}  // namespace

int main()
{
    if (!mvbench::Reset() || !mvbench::SetTiming(mvbench::Timing::Real) || !mvbench::SetLatencyMicroseconds(0)) {
        std::fprintf(stderr, "bench_loopback: cannot set up the bench: %s\n", mvbench::LastError().c_str());
        return 1;
    }
    eemint::InstallDriver(&eemint::SystemDriver());

    const double settle = 12 * 0.050;
    const double slow = 2 * 16 * 10 / 300.0;
    const double fast = 2 * 256 * 10 / 115200.0;
    const double minimum = settle + slow + fast;
    std::printf("physical minimum: %.3f s (settle waits %.3f s, 300 baud %.3f s, 115200 baud %.3f s)\n", minimum,
                settle, slow, fast);

    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        testsupport::RecordingReporter reporter;
        const auto start = std::chrono::steady_clock::now();
        eemint::RunLoopbackTest(reporter);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string verdict = Verdict(reporter);
        std::printf("run %d: %.3f s, %s\n", i + 1, seconds, verdict.c_str());
        if (verdict != "DEVICE PASSED") {
            std::printf("loopback test did not pass on the default bench\n");
            return 1;
        }
        runs.push_back(seconds);
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs[1];
    const double ratio = median / minimum;
    const bool met = ratio <= 1.05;
    std::printf("loopback test %.3f s, physical minimum %.3f s: %.3f x (goal <= 1.050 x) %s\n", median, minimum,
                ratio, met ? "met" : "NOT MET");
    return met ? 0 : 1;
}
