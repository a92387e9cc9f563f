// What the simulated driver library's two interfaces share (the driver functions MV_* in
// mvusbdriver.cpp, the bench's port extensions MVB_Port* in benchports.cpp): the process's
// live serial side (line settings, line levels, bytes in flight, open ports), the timing of
// one request, and the converter's serial side as the rig or the modem sees it. Handles are
// tokens looked up in tables, never dereferenced, so a stale or garbage handle only fails
// its call.
//
// Threads: every call may come from any thread; the live side is guarded by Live::mutex.
#pragma once

#include "benchstate.h"
#include "serialline.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace mvbench {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// What one call needs to know of the shared state.
struct Snap {
    bool real = false;
    std::chrono::microseconds latency{0};
    Attachment attachment = Attachment::Nothing;
    std::array<bool, kWireCount> cut{};
    bool modemError = false;
    bool modemLinesStuck = false;
    uint64_t converter0 = 0;  // id of the converter at index 0, 0 if none
    bool IsCut(Wire w) const { return cut[static_cast<int>(w)]; }
};

Snap SnapOf(const State& s);

struct ConverterLive {
    Endpoint endpoint;
    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
    Modem modem;
    bool portOpen = false;
};

enum class PortKind { Com1, Com2, Converter };

// An open bench port and its time-outs.
struct Port {
    PortKind kind = PortKind::Com1;
    uint64_t converter = 0;
    uint32_t readInterval = kMaxDword, readMultiplier = 0, readConstant = 0;
    uint32_t writeMultiplier = 0, writeConstant = 0;
};

struct Live {
    std::mutex mutex;
    std::condition_variable arrived;
    Endpoint com1, com2;
    bool com1Open = false, com2Open = false;
    std::unordered_map<uint64_t, ConverterLive> converters;
    std::unordered_map<uintptr_t, uint64_t> handles;  // driver handle -> converter id
    std::unordered_map<uintptr_t, Port> ports;
    uintptr_t nextToken = 0x4D560010;

    // Tokens are never reused, so a closed handle stays invalid.
    uintptr_t NewToken()
    {
        nextToken += 0x10;
        return nextToken;
    }
    ConverterLive& Conv(uint64_t id) { return converters[id]; }

    // The line end a port reads from and writes to, and the flag that says it is open.
    struct PortSide {
        Endpoint& endpoint;
        bool& open;
    };
    PortSide SideOf(const Port& port);
};

// The one live side of the process. Never destroyed: driver calls may still arrive from
// other threads during process exit.
Live& L();

// Times one request: in real mode it lasts at least the latency, and the time it spent
// waiting is charged (MVB_ChargedMicroseconds).
class Request {
public:
    explicit Request(bool hasLatency) : start_(Clock::now()), hasLatency_(hasLatency) {}
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Takes the timing mode and latency of the state the call read; until then the request
    // takes no time of its own.
    void Use(const Snap& snap);
    bool Real() const { return real_; }
    void Waited() { waited_ = true; }
    Clock::time_point Start() const { return start_; }

private:
    Clock::time_point start_;
    bool hasLatency_;
    bool real_ = false;
    std::chrono::microseconds latency_{0};
    bool waited_ = false;
};

uint64_t ChargedMicroseconds();
void ResetCharged();

// The converter's modem inputs: from the rig's COM ports or from the modem.
uint32_t ConverterInputs(Live& l, const Snap& s, uint64_t id, ConverterLive& c, Clock::time_point now);

// Sends from a converter's serial side to whatever is attached to it.
void ConverterSend(Live& l, const Snap& s, uint64_t id, ConverterLive& c, const uint8_t* data, size_t size,
                   Clock::time_point now);

// When a read gives up.
struct ReadRule {
    bool immediate = false;           // return what is there at once
    bool returnOnFirst = false;       // return as soon as anything is there
    std::optional<Clock::time_point> total;
    std::optional<Clock::duration> interval;  // longest gap between two received bytes
};

// Reads up to `size` bytes from `from` under the held lock, waiting as `rule` allows.
uint32_t ReadWaiting(std::unique_lock<std::mutex>& lock, Live& l, Endpoint& from, uint8_t* out, uint32_t size,
                     const ReadRule& rule, Clock::time_point start, Request& request);

}  // namespace mvbench
