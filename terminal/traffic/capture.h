// The capture of Duoterm's traffic to a file (the format is in captureformat.h and the
// README): every chunk received and sent on both ports, the ports' line-error counters and
// their events, each stamped with the wall clock and the microseconds since the capture
// began, written by a thread of its own so that the user-interface thread never waits for
// the disk.
//
// The record calls only copy the bytes into a queue under a lock held for that copy; the
// writer thread takes the whole queue at least every 250 ms (sooner once 1 MiB waits),
// formats it and writes it with unbuffered writes, so what was recorded is in the operating
// system's hands within about a quarter of a second (well within the second the capture
// promises), whatever the line rate. Nothing is dropped while the capture runs: the queue
// grows while the disk is slow, up to a bound (256 MiB by default); a queue past the bound,
// a write that fails (a full disk, a file size limit, a file that cannot be written) stops
// the capture with one error, and the file keeps every whole line written before it (a line
// the failure cut off is cut away, so the file always ends with a whole line).
//
// Threads: one thread (the user-interface thread) calls every public function. The writer
// thread exists from a successful Start until Stop (or the destructor) and touches only the
// file and the queue. A failure is reported by TakeError, polled by the owner (for example
// on its display tick), which returns it exactly once.
#pragma once

#include "captureformat.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace traffic {

// Why a capture could not start or stopped: the step and file ("write /tmp/a.cap", in UTF-8),
// and the system's error code (0 when there is none, as for a queue past its bound).
struct CaptureError {
    std::string what;
    int code = 0;
    // "what: the system's text for the code", or what alone.
    std::string Text() const;
};

class CaptureWriter {
public:
    static constexpr size_t kDefaultQueueBound = size_t{256} << 20;

    explicit CaptureWriter(size_t queueBound = kDefaultQueueBound);
    // Stops a running capture (as Stop).
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Creates (or empties) the file, writes its header and starts the writer thread. False,
    // with `error` filled and nothing running, when the file cannot be created or written. A
    // running capture is stopped first.
    // The path is a filesystem path, so a name in any script opens on Windows too.
    bool Start(const std::filesystem::path& path, CaptureError& error);
    // Records the stop, writes everything queued and closes the file; nothing when not
    // running. After a failure it only ends the writer thread and closes the file.
    void Stop();
    // True from a successful Start until Stop or a failure.
    bool Running() const { return running_ && !failed_.load(); }

    // Records one chunk of a port (1 or 2). Nothing while not running; a chunk of no bytes
    // records nothing.
    void Received(int port, const uint8_t* bytes, size_t count);
    void Sent(int port, const uint8_t* bytes, size_t count);
    // Records a port's line-error counts since its open; none: the device has no counters.
    void LineErrors(int port, const std::optional<LineErrorCounts>& counts);
    // Records a port's event with a detail text (Windows-1251, for example the port's name).
    void Event(int port, PortEvent event, std::string_view detail);

    // The failure that stopped the capture, once: later calls return nothing until the next
    // Start.
    std::optional<CaptureError> TakeError();

private:
    struct Item {
        std::chrono::system_clock::time_point wall;
        std::chrono::steady_clock::time_point steady;
        CaptureKind kind;
        int port;
        PortEvent event;
        std::optional<LineErrorCounts> counts;
        const uint8_t* data;  // the bytes or the detail, in one of the queue's blocks
        size_t length;
    };
    // The queue never moves what it holds: a record call costs a copy of its own bytes,
    // however long the queue has grown while the disk was slow.
    struct Queue {
        std::deque<Item> items;
        std::vector<std::vector<uint8_t>> blocks;  // each filled only up to its capacity
        size_t bytes = 0;
        const uint8_t* Store(const uint8_t* data, size_t count);
        void Clear()
        {
            items.clear();
            blocks.clear();
            bytes = 0;
        }
    };

    void Add(CaptureKind kind, int port, const uint8_t* bytes, size_t count, PortEvent event = PortEvent::Opened,
             const std::optional<LineErrorCounts>& counts = std::nullopt);
    void Run();
    // Writes the text at the end of the file; on a failure records it and cuts the file
    // back to its last whole line.
    bool WriteText(const std::string& text);
    void Fail(CaptureError error);
    CaptureWallTime LocalTime(std::chrono::system_clock::time_point time);

    const size_t queueBound_;
    std::filesystem::path path_;
    std::string pathText_;  // the path in UTF-8, for error texts
    std::ofstream file_;
    uint64_t written_ = 0;  // the file's size: every byte written so far, all whole lines
    std::chrono::steady_clock::time_point began_;
    bool running_ = false;  // owner thread: between Start and Stop
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable wake_;
    Queue queue_;           // under mutex_
    bool stopping_ = false;  // under mutex_
    std::atomic<bool> failed_{false};
    std::optional<CaptureError> error_;  // under mutex_
    bool errorTaken_ = false;           // under mutex_

    // Writer thread only: the last second converted to local time.
    std::time_t cachedSecond_ = -1;
    CaptureWallTime cachedWall_;
};

}  // namespace traffic
