// The capture writer alone: both ports receiving and sending (four streams) in 50 ms chunks.
// First 10 s paced at 1.2 MB/s a stream (a 12 Mbaud line each way on both ports), then 48 MB
// as fast as the writer is handed them. Reports the longest time one record call took on the
// calling thread in the paced run (the user-interface thread's case: it must never wait for
// the disk; in the unpaced run the caller never sleeps, so on a busy machine its longest call
// is the scheduler's doing and is shown only), the bytes in the file against the bytes
// recorded, and the writer's rate over the unpaced run, from the first record to the file
// closed. Goals: no byte lost, no paced call longer than 5 ms, at least 4.8 MB/s (the four
// streams' rate) written unpaced.
#include "capture.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace traffic;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kChunk = 60000;  // 50 ms at 1.2 MB/s

struct Run {
    uint64_t recorded = 0;
    double worstCallMs = 0;
    double seconds = 0;
    double cpuSeconds = 0;  // of the whole process: the caller making chunks and the writer
};

std::vector<uint8_t> Chunk(uint64_t n)
{
    std::vector<uint8_t> bytes(kChunk);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(n * 31 + i * 7);
    return bytes;
}

// Records `chunks` rounds of four chunks; paced: one round every 50 ms.
Run Feed(const std::string& path, int rounds, bool paced)
{
    CaptureWriter writer;
    CaptureError error;
    if (!writer.Start(path, error)) {
        std::fprintf(stderr, "capture: %s\n", error.Text().c_str());
        std::exit(2);
    }
    Run run;
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    uint64_t n = 0;
    for (int round = 0; round < rounds; ++round) {
        if (paced)
            std::this_thread::sleep_until(start + std::chrono::milliseconds(50) * round);
        for (int stream = 0; stream < 4; ++stream) {
            const std::vector<uint8_t> bytes = Chunk(n++);
            const auto before = Clock::now();
            if (stream < 2)
                writer.Received(1 + stream, bytes.data(), bytes.size());
            else
                writer.Sent(stream - 1, bytes.data(), bytes.size());
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - before).count();
            run.worstCallMs = std::max(run.worstCallMs, ms);
            run.recorded += bytes.size();
        }
        if (const auto e = writer.TakeError()) {
            std::fprintf(stderr, "capture failed: %s\n", e->Text().c_str());
            std::exit(2);
        }
    }
    writer.Stop();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return run;
}

// The bytes in the file that match what was recorded, in order.
uint64_t Verified(const std::string& path)
{
    CaptureFile capture;
    if (!ReadCaptureFile(path, capture) || !capture.problems.empty() || !capture.stopped)
        return 0;
    uint64_t bytes = 0, n = 0;
    for (const CaptureRecord& record : capture.records) {
        if (record.kind != CaptureKind::Received && record.kind != CaptureKind::Sent)
            continue;
        if (record.bytes != Chunk(n++))
            return bytes;
        bytes += record.bytes.size();
    }
    return bytes;
}

}  // namespace

int main()
{
    const auto dir = std::filesystem::temp_directory_path() / "duoterm-bench-capture";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "bench.cap").string();

    const Run paced = Feed(path, 200, true);
    const uint64_t pacedFile = Verified(path);
    const Run fast = Feed(path, 200, false);
    const uint64_t fastFile = Verified(path);
    const double fileMb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove_all(dir);

    const double rate = static_cast<double>(fast.recorded) / 1e6 / fast.seconds;
    const uint64_t lost = (paced.recorded - pacedFile) + (fast.recorded - fastFile);
    const double worst = paced.worstCallMs;
    std::printf("paced: %.1f MB recorded in %.1f s, %.1f MB in the file, longest call %.2f ms\n",
                static_cast<double>(paced.recorded) / 1e6, paced.seconds, static_cast<double>(pacedFile) / 1e6,
                paced.worstCallMs);
    std::printf("unpaced: %.1f MB recorded, file of %.1f MB, %.1f MB/s written, longest call %.2f ms, "
                "%.1f MB per second of processor time\n",
                static_cast<double>(fast.recorded) / 1e6, fileMb, rate, fast.worstCallMs,
                static_cast<double>(fast.recorded) / 1e6 / fast.cpuSeconds);
    const bool ok = lost == 0 && worst <= 5.0 && rate >= 4.8;
    std::printf("lost %llu bytes (goal 0), longest paced call %.2f ms (goal <= 5), %.1f MB/s written (goal >= 4.8): %s\n",
                static_cast<unsigned long long>(lost), worst, rate, ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}
