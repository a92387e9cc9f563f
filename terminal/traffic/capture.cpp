// The capture writer: a queue filled by the owner's thread, emptied into the file by a
// writer thread.
#include "capture.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace traffic {

namespace {

using namespace std::chrono;

// How often the writer thread takes the queue, and how much makes it take it at once.
constexpr milliseconds kWriteInterval{250};
constexpr size_t kWakeBytes = size_t{1} << 20;
// How much text the writer formats before it writes.
constexpr size_t kSliceText = size_t{4} << 20;
// The queue's blocks (a larger chunk gets a block of its own size).
constexpr size_t kBlockBytes = size_t{1} << 20;

// std::localtime is the one local-time conversion every standard library offers; its result
// lives in a shared buffer, so conversions are serialised and the result copied out.
std::mutex localTimeMutex;

CaptureWallTime BrokenDown(system_clock::time_point time, bool utc)
{
    const std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(
        floor<std::chrono::seconds>(time)));
    std::tm parts{};
    {
        std::lock_guard lock(localTimeMutex);
        if (const std::tm* t = utc ? std::gmtime(&seconds) : std::localtime(&seconds))
            parts = *t;
    }
    CaptureWallTime wall;
    wall.year = parts.tm_year + 1900;
    wall.month = parts.tm_mon + 1;
    wall.day = parts.tm_mday;
    wall.hour = parts.tm_hour;
    wall.minute = parts.tm_min;
    wall.second = parts.tm_sec;
    wall.millisecond = static_cast<int>(duration_cast<milliseconds>(time - floor<std::chrono::seconds>(time)).count());
    return wall;
}

// "2024-05-01 12:34:56.789", as a record's first two fields.
std::string WallText(const CaptureWallTime& wall)
{
    CaptureRecord record;
    record.wall = wall;
    record.kind = CaptureKind::Stop;
    const std::string line = CaptureLine(record);
    return line.substr(0, 23);
}

int ErrnoOr(int fallback)
{
    return errno != 0 ? errno : fallback;
}

}  // namespace

const uint8_t* CaptureWriter::Queue::Store(const uint8_t* data, size_t count)
{
    bytes += count;
    if (count == 0)
        return nullptr;
    if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < count) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(kBlockBytes, count));
    }
    std::vector<uint8_t>& block = blocks.back();
    const size_t at = block.size();
    block.insert(block.end(), data, data + count);  // within the capacity: nothing moves
    return block.data() + at;
}

std::string CaptureError::Text() const
{
    if (code == 0)
        return what;
    return what + ": " + std::generic_category().message(code);
}

CaptureWriter::CaptureWriter(size_t queueBound) : queueBound_(queueBound) {}

CaptureWriter::~CaptureWriter()
{
    Stop();
}

bool CaptureWriter::Start(const std::filesystem::path& path, CaptureError& error)
{
    Stop();
    path_ = path;
    const std::u8string utf8 = path.u8string();
    pathText_.assign(utf8.begin(), utf8.end());
    written_ = 0;
    failed_ = false;
    {
        std::lock_guard lock(mutex_);
        queue_.Clear();
        stopping_ = false;
        error_.reset();
        errorTaken_ = false;
    }
    errno = 0;
    file_ = std::ofstream();
    // Unbuffered (set before the open): every write goes straight to the system, and a
    // failed write leaves nothing half-buffered.
    file_.rdbuf()->pubsetbuf(nullptr, 0);
    file_.open(path, std::ios::binary | std::ios::trunc);
    if (!file_.is_open()) {
        error = {"create " + pathText_, ErrnoOr(EIO)};
        return false;
    }

    const auto wall = system_clock::now();
    began_ = steady_clock::now();
    std::string header(kCaptureSignature);
    header +=
        "\n# Duoterm capture. Each line: local date and time, microseconds since the capture"
        " began, port, kind (rx received, tx sent: the bytes in hex, then | and the"
        " Windows-1251 text; errors: line-error counts since the port opened; port: an event"
        " of the port; stop: the capture's end).\n# began ";
    header += WallText(BrokenDown(wall, false));
    header += " local time, ";
    header += WallText(BrokenDown(wall, true));
    header += " UTC\n";
    if (!WriteText(header)) {
        error = *error_;
        file_.close();
        return false;
    }
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CaptureWriter::Stop()
{
    if (!running_)
        return;
    Add(CaptureKind::Stop, 0, nullptr, 0);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    file_.close();
    running_ = false;
}

void CaptureWriter::Received(int port, const uint8_t* bytes, size_t count)
{
    if (count > 0)
        Add(CaptureKind::Received, port, bytes, count);
}

void CaptureWriter::Sent(int port, const uint8_t* bytes, size_t count)
{
    if (count > 0)
        Add(CaptureKind::Sent, port, bytes, count);
}

void CaptureWriter::LineErrors(int port, const std::optional<LineErrorCounts>& counts)
{
    Add(CaptureKind::LineErrors, port, nullptr, 0, PortEvent::Opened, counts);
}

void CaptureWriter::Event(int port, PortEvent event, std::string_view detail)
{
    Add(CaptureKind::PortEvent, port, reinterpret_cast<const uint8_t*>(detail.data()), detail.size(), event);
}

std::optional<CaptureError> CaptureWriter::TakeError()
{
    std::lock_guard lock(mutex_);
    if (!error_ || errorTaken_)
        return std::nullopt;
    errorTaken_ = true;
    return error_;
}

void CaptureWriter::Add(CaptureKind kind, int port, const uint8_t* bytes, size_t count, PortEvent event,
                        const std::optional<LineErrorCounts>& counts)
{
    if (!running_ || failed_.load())
        return;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        if (!queue_.items.empty() && queue_.bytes + count > queueBound_) {
            // The disk does not keep up: stop rather than drop bytes silently or take all
            // memory. What is queued still goes to the file.
            failed_ = true;
            error_ = CaptureError{"write " + pathText_ + ": the disk does not keep up with the traffic", 0};
        } else {
            // Stamped under the lock: the queue's order is the order of the times.
            queue_.items.push_back({system_clock::now(), steady_clock::now(), kind, port, event, counts,
                                    queue_.Store(bytes, count), count});
            if (queue_.bytes < kWakeBytes)
                return;
        }
    }
    wake_.notify_one();
}

void CaptureWriter::Run()
{
    Queue batch;
    std::string text;
    for (;;) {
        bool stop = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, kWriteInterval,
                           [this] { return stopping_ || failed_.load() || queue_.bytes >= kWakeBytes; });
            std::swap(batch, queue_);
            // Nothing is queued once the capture stopped or failed: this batch is the last.
            stop = stopping_ || failed_.load();
        }
        text.clear();
        CaptureRecord record;
        for (const Item& item : batch.items) {
            record.wall = LocalTime(item.wall);
            record.micros = duration_cast<microseconds>(item.steady - began_).count();
            record.port = item.port;
            record.kind = item.kind;
            record.event = item.event;
            record.counts = item.counts;
            const uint8_t* data = item.data;
            if (item.kind == CaptureKind::PortEvent) {
                record.bytes.clear();
                record.detail.assign(reinterpret_cast<const char*>(data), item.length);
            } else {
                record.bytes.assign(data, data + item.length);
                record.detail.clear();
            }
            AppendCaptureLine(text, record);
            // A long queue (a slow disk) goes out in slices, so the text's memory stays
            // small and is reused instead of being mapped and unmapped in large pieces.
            if (text.size() >= kSliceText) {
                if (!WriteText(text))
                    return;
                text.clear();
            }
        }
        batch.Clear();
        if ((!text.empty() && !WriteText(text)) || stop)
            return;
    }
}

bool CaptureWriter::WriteText(const std::string& text)
{
    errno = 0;
    file_.write(text.data(), static_cast<std::streamsize>(text.size()));
    file_.flush();
    if (file_.good()) {
        written_ += text.size();
        return true;
    }
    const int code = ErrnoOr(EIO);
    file_.close();
    // Cut the file back to its last whole line: what reached the file of this text may end
    // inside a line.
    std::error_code ec;
    const auto size = std::filesystem::file_size(path_, ec);
    uint64_t keep = written_;
    if (!ec && size > written_) {
        const size_t reached = static_cast<size_t>(std::min<uint64_t>(size - written_, text.size()));
        const size_t lastEnd = text.rfind('\n', reached == 0 ? 0 : reached - 1);
        if (reached > 0 && lastEnd != std::string::npos)
            keep = written_ + lastEnd + 1;
    }
    if (!ec && size != keep)
        std::filesystem::resize_file(path_, keep, ec);
    written_ = keep;
    Fail({"write " + pathText_, code});
    return false;
}

void CaptureWriter::Fail(CaptureError error)
{
    std::lock_guard lock(mutex_);
    failed_ = true;
    if (!error_)
        error_ = std::move(error);
}

CaptureWallTime CaptureWriter::LocalTime(system_clock::time_point time)
{
    const std::time_t second = system_clock::to_time_t(time_point_cast<system_clock::duration>(floor<seconds>(time)));
    if (second != cachedSecond_) {
        cachedSecond_ = second;
        cachedWall_ = BrokenDown(time, false);
    }
    CaptureWallTime wall = cachedWall_;
    wall.millisecond = static_cast<int>(duration_cast<milliseconds>(time - floor<seconds>(time)).count());
    return wall;
}

}  // namespace traffic
