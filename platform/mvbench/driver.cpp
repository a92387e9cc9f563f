// The simulated driver library: the five driver functions and the bench's port extensions
// over the shared bench state (EEPROMs, faults, what is attached) and the process's live
// serial side (line settings, line levels, bytes in flight). Handles are tokens looked up in
// tables, never dereferenced, so a stale or garbage handle only fails its call.
#include "benchstate.h"
#include "mvbench_ports.h"
#include "mvusb.h"
#include "serialline.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

using namespace mvbench;

namespace {

// Driver statuses (low byte non-zero on failure).
constexpr MV_STATUS kInvalidHandle = 0x01;
constexpr MV_STATUS kDeviceNotFound = 0x02;
constexpr MV_STATUS kDeviceNotOpened = 0x03;  // the converter went away
constexpr MV_STATUS kIoError = 0x04;          // the bench state cannot be used
constexpr MV_STATUS kInvalidParameter = 0x06;
constexpr MV_STATUS kNotSupported = 0x11;

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

Snap SnapOf(const State& s)
{
    Snap snap;
    snap.real = s.timing == Timing::Real;
    snap.latency = std::chrono::microseconds(s.latencyUs);
    snap.attachment = s.attachment;
    snap.cut = s.cut;
    snap.modemError = s.modemError;
    snap.modemLinesStuck = s.modemLinesStuck;
    const Converter* c0 = s.Plugged(0);
    snap.converter0 = c0 ? c0->id : 0;
    return snap;
}

struct ConverterLive {
    Endpoint endpoint;
    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
    Modem modem;
    bool portOpen = false;
};

enum class PortKind { Com1, Com2, Converter };

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
};

// Never destroyed: driver calls may still arrive from other threads during process exit.
Live& L()
{
    static Live* live = new Live;
    return *live;
}

std::atomic<uint64_t> chargedNs{0};

// Times one request: in real mode it lasts at least the latency, and the time it spent
// waiting is charged.
class Request {
public:
    explicit Request(bool hasLatency) : start_(Clock::now()), hasLatency_(hasLatency) {}
    void Use(const Snap& snap)
    {
        real_ = snap.real;
        latency_ = hasLatency_ ? snap.latency : std::chrono::microseconds(0);
    }
    bool Real() const { return real_; }
    void Waited() { waited_ = true; }
    ~Request()
    {
        if (!real_)
            return;
        const Clock::time_point target = start_ + latency_;
        if (Clock::now() < target) {
            std::this_thread::sleep_until(target);
            waited_ = true;
        }
        const auto spent = waited_ ? Clock::now() - start_ : Clock::duration(latency_);
        chargedNs += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count());
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

private:
    Clock::time_point start_;
    bool hasLatency_;
    bool real_ = false;
    std::chrono::microseconds latency_{0};
    bool waited_ = false;
};

// Loads the state for a call on converter `id`: the converter must still be plugged; the call
// counts against its unplug-after fault; `op` may change its EEPROM (then it returns true in
// `modified`). Returns the call's status; `snap` is filled whenever the state could be read.
using ConverterOp = std::function<MV_STATUS(Converter&, bool& modified)>;
MV_STATUS Reach(uint64_t id, Snap& snap, bool& haveSnap, const ConverterOp& op)
{
    MV_STATUS status = MV_OK;
    std::string error;
    const bool ok = Transact(
        [&](State& s, bool& modified, std::string&) {
            snap = SnapOf(s);
            haveSnap = true;
            Converter* c = s.ById(id);
            if (!c || !c->plugged) {
                status = kDeviceNotOpened;
                return true;
            }
            if (c->unplugAfter > 0) {
                modified = true;
                if (--c->unplugAfter == 0) {
                    c->unplugAfter = -1;
                    c->plugged = false;
                }
            }
            bool changed = false;
            status = op ? op(*c, changed) : MV_OK;
            modified = modified || changed;
            return true;
        },
        error);
    return ok ? status : kIoError;
}

std::optional<uint64_t> HandleConverter(MV_HANDLE handle)
{
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == l.handles.end())
        return std::nullopt;
    return it->second;
}

uint32_t Le32(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// The converter's modem inputs: from the rig's COM ports or from the modem.
uint32_t ConverterInputs(Live& l, const Snap& s, uint64_t id, ConverterLive& c, Clock::time_point now)
{
    if (id != s.converter0)
        return 0;
    switch (s.attachment) {
    case Attachment::Rig: {
        uint32_t status = 0;
        if (l.com2.rts && !s.IsCut(Wire::Com2RtsToCts)) status |= MV_MODEM_CTS;
        if (l.com2.dtr && !s.IsCut(Wire::Com2DtrToDsr)) status |= MV_MODEM_DSR;
        if (l.com1.dtr && !s.IsCut(Wire::Com1DtrToDcd)) status |= MV_MODEM_DCD;
        if (l.com1.rts && !s.IsCut(Wire::Com1RtsToRi)) status |= MV_MODEM_RI;
        return status;
    }
    case Attachment::Modem:
        return c.modem.Status(now, c.endpoint.rts, s.modemLinesStuck);
    case Attachment::Nothing:
        return 0;
    }
    return 0;
}

// Sends from a converter's serial side to whatever is attached to it.
void ConverterSend(Live& l, const Snap& s, uint64_t id, ConverterLive& c, const uint8_t* data, size_t size,
                   Clock::time_point now)
{
    const bool attached = id == s.converter0;
    if (attached && s.attachment == Attachment::Rig) {
        Transmit(c.endpoint, s.IsCut(Wire::TxToCom2Rx) ? nullptr : &l.com2, data, size, now, s.real);
    } else if (attached && s.attachment == Attachment::Modem) {
        const auto arrivals = Transmit(c.endpoint, nullptr, data, size, now, s.real);
        c.modem.Receive(data, arrivals, c.endpoint.format, c.endpoint, s.modemError, s.real);
    } else {
        Transmit(c.endpoint, nullptr, data, size, now, s.real);
    }
    l.arrived.notify_all();
}

void RigPortSend(Live& l, const Snap& s, PortKind kind, const uint8_t* data, size_t size, Clock::time_point now)
{
    Endpoint& from = kind == PortKind::Com1 ? l.com1 : l.com2;
    Endpoint* to = nullptr;
    if (kind == PortKind::Com2 && s.attachment == Attachment::Rig && s.converter0 != 0 &&
        !s.IsCut(Wire::Com2TxToRx))
        to = &l.Conv(s.converter0).endpoint;
    Transmit(from, to, data, size, now, s.real);
    l.arrived.notify_all();
}

// When a read gives up.
struct ReadRule {
    bool immediate = false;           // return what is there at once
    bool returnOnFirst = false;       // return as soon as anything is there
    std::optional<Clock::time_point> total;
    std::optional<Clock::duration> interval;  // longest gap between two received bytes
};

// Reads up to `size` bytes from `from` under the held lock, waiting as `rule` allows.
uint32_t ReadWaiting(std::unique_lock<std::mutex>& lock, Live& l, Endpoint& from, uint8_t* out, uint32_t size,
                     const ReadRule& rule, Clock::time_point start, Request& request)
{
    uint32_t got = 0;
    std::optional<Clock::time_point> lastArrival;
    for (;;) {
        const Clock::time_point now = Clock::now();
        from.Settle(now);
        while (got < size && !from.received.empty()) {
            out[got++] = from.received.front().byte;
            lastArrival = std::max(start, from.received.front().at);
            from.received.pop_front();
        }
        if (got == size || rule.immediate || (rule.returnOnFirst && got > 0))
            return got;
        if (rule.total && now >= *rule.total)
            return got;
        std::optional<Clock::time_point> wake = rule.total;
        if (rule.interval && lastArrival) {
            const Clock::time_point gapEnd = *lastArrival + *rule.interval;
            Clock::time_point next;
            // The next byte comes too late (or not at all): the read ends at the gap's end.
            if (!from.NextArrival(next) || next > gapEnd) {
                if (now >= gapEnd)
                    return got;
                wake = wake ? std::min(*wake, gapEnd) : gapEnd;
            }
        }
        Clock::time_point next;
        if (from.NextArrival(next))
            wake = wake ? std::min(*wake, next) : next;
        if (request.Real())
            request.Waited();
        if (wake)
            l.arrived.wait_until(lock, *wake);
        else
            l.arrived.wait(lock);
    }
}

std::optional<Port> FindPort(MVB_PORT port)
{
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.ports.find(reinterpret_cast<uintptr_t>(port));
    if (it == l.ports.end())
        return std::nullopt;
    return it->second;
}

// Loads the state for a port call; the converter behind MVPORT-0 must still be plugged.
int PortSnap(const Port& port, Snap& snap)
{
    if (port.kind == PortKind::Converter) {
        std::string error;
        bool plugged = false;
        const bool ok = Transact(
            [&](State& s, bool&, std::string&) {
                snap = SnapOf(s);
                plugged = s.IndexOf(port.converter) >= 0;
                return true;
            },
            error);
        if (!ok)
            return MVB_ERROR_GEN_FAILURE;
        return plugged ? 0 : MVB_ERROR_GEN_FAILURE;
    }
    std::string error;
    const bool ok = Transact(
        [&](State& s, bool&, std::string&) {
            snap = SnapOf(s);
            return true;
        },
        error);
    return ok ? 0 : MVB_ERROR_GEN_FAILURE;
}

std::optional<PortKind> PortKindOf(const char* path)
{
    std::string name(path);
    if (name.rfind("\\\\.\\", 0) == 0)
        name = name.substr(4);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name == "COM1")
        return PortKind::Com1;
    if (name == "COM2")
        return PortKind::Com2;
    if (name == "MVPORT-0")
        return PortKind::Converter;
    return std::nullopt;
}

}  // namespace

extern "C" {

MV_EXPORT MV_STATUS MV_API MV_Open(int deviceIndex, MV_HANDLE* handle)
{
    Request request(true);
    if (!handle)
        return kInvalidParameter;
    MV_STATUS status = MV_OK;
    uint64_t id = 0;
    std::string error;
    Snap snap;
    const bool ok = Transact(
        [&](State& s, bool& modified, std::string&) {
            snap = SnapOf(s);
            request.Use(snap);
            Converter* c = s.Plugged(deviceIndex);
            if (!c) {
                status = kDeviceNotFound;
                return true;
            }
            if (c->unplugAfter > 0) {
                modified = true;
                if (--c->unplugAfter == 0) {
                    c->unplugAfter = -1;
                    c->plugged = false;
                }
            }
            if (s.opensFail) {
                status = kDeviceNotFound;
                return true;
            }
            id = c->id;
            return true;
        },
        error);
    if (!ok)
        return kIoError;
    if (status != MV_OK)
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    const uintptr_t token = l.NewToken();
    l.handles[token] = id;
    l.Conv(id);
    *handle = reinterpret_cast<MV_HANDLE>(token);
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Close(MV_HANDLE handle)
{
    Request request(true);
    std::optional<uint64_t> id;
    {
        Live& l = L();
        std::lock_guard<std::mutex> hold(l.mutex);
        auto it = l.handles.find(reinterpret_cast<uintptr_t>(handle));
        if (it == l.handles.end())
            return kInvalidHandle;
        id = it->second;
        l.handles.erase(it);
    }
    Snap snap;
    bool haveSnap = false;
    Reach(*id, snap, haveSnap, nullptr);
    if (haveSnap)
        request.Use(snap);
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Read(MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead)
{
    Request request(true);
    const Clock::time_point start = Clock::now();
    const std::optional<uint64_t> id = HandleConverter(handle);
    if (!id)
        return kInvalidHandle;
    Snap snap;
    bool haveSnap = false;
    const MV_STATUS status = Reach(*id, snap, haveSnap, [&](Converter&, bool&) {
        return (!bytesRead || (!buffer && bytesToRead > 0)) ? kInvalidParameter : MV_OK;
    });
    if (haveSnap)
        request.Use(snap);
    if (status != MV_OK)
        return status;
    Live& l = L();
    std::unique_lock<std::mutex> lock(l.mutex);
    ConverterLive& c = l.Conv(*id);
    ReadRule rule;
    if (c.readTimeoutMs == 0)
        rule.immediate = true;
    else
        rule.total = start + std::chrono::milliseconds(c.readTimeoutMs);
    *bytesRead = ReadWaiting(lock, l, c.endpoint, static_cast<uint8_t*>(buffer), bytesToRead, rule, start, request);
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Write(MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                                    uint32_t* bytesWritten)
{
    Request request(true);
    const Clock::time_point start = Clock::now();
    const std::optional<uint64_t> id = HandleConverter(handle);
    if (!id)
        return kInvalidHandle;
    Snap snap;
    bool haveSnap = false;
    const MV_STATUS status = Reach(*id, snap, haveSnap, [&](Converter&, bool&) {
        return (!bytesWritten || (!buffer && bytesToWrite > 0)) ? kInvalidParameter : MV_OK;
    });
    if (haveSnap)
        request.Use(snap);
    if (status != MV_OK)
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    ConverterSend(l, snap, *id, l.Conv(*id), static_cast<const uint8_t*>(buffer), bytesToWrite, start);
    *bytesWritten = bytesToWrite;
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_IoCtl(MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize,
                                    void* outBuffer, uint32_t outSize, uint32_t* bytesReturned,
                                    void* /*overlapped*/)
{
    Request request(true);
    const std::optional<uint64_t> id = HandleConverter(handle);
    if (!id)
        return kInvalidHandle;
    const bool inOk = inSize == 0 || inBuffer;
    const bool outOk = outSize == 0 || outBuffer;
    auto noBuffers = [&] { return inSize == 0 && outSize == 0; };
    uint32_t returned = 0;
    Snap snap;
    bool haveSnap = false;
    // EEPROM requests act on the shared state inside the transaction; serial requests are
    // checked there and carried out on the live side afterwards.
    const MV_STATUS status = Reach(*id, snap, haveSnap, [&](Converter& c, bool& modified) -> MV_STATUS {
        if (!inOk || !outOk)
            return kInvalidParameter;
        switch (requestCode) {
        case MV_IOCTL_READ_EE_WORD: {
            if (inSize != 4 || outSize < 2)
                return kInvalidParameter;
            const uint32_t word = Le32(inBuffer);
            if (word > 63)
                return kInvalidParameter;
            const uint16_t value = c.ReadWord(static_cast<int>(word));
            auto* out = static_cast<uint8_t*>(outBuffer);
            out[0] = static_cast<uint8_t>(value & 0xFF);
            out[1] = static_cast<uint8_t>(value >> 8);
            returned = 2;
            return MV_OK;
        }
        case MV_IOCTL_WRITE_EE_WORD: {
            if (inSize != 4 || (outSize != 0 && outSize < 4))
                return kInvalidParameter;
            uint8_t in[4];
            std::memcpy(in, inBuffer, 4);
            const unsigned word = in[0] | (in[1] << 8);
            if (word > 63)
                return kInvalidParameter;
            c.eeprom[2 * word] = in[2];
            c.eeprom[2 * word + 1] = in[3];
            modified = true;
            if (outSize >= 4) {
                std::memcpy(outBuffer, in, 4);
                returned = 4;
            }
            return MV_OK;
        }
        case MV_IOCTL_ERASE_EE:
            if (!noBuffers())
                return kInvalidParameter;
            c.eeprom.fill(0xFF);
            modified = true;
            return MV_OK;
        case MV_IOCTL_SET_BAUD_RATE: {
            if (inSize != 4 || outSize != 0)
                return kInvalidParameter;
            LineFormat f;
            f.baud = Le32(inBuffer);
            return ValidLineFormat(f) ? MV_OK : kInvalidParameter;
        }
        case MV_IOCTL_SET_LINE_CONTROL: {
            if (inSize != 3 || outSize != 0)
                return kInvalidParameter;
            const auto* b = static_cast<const uint8_t*>(inBuffer);
            LineFormat f;
            f.stopBitsCode = b[0];
            f.parityCode = b[1];
            f.dataBits = b[2];
            return ValidLineFormat(f) ? MV_OK : kInvalidParameter;
        }
        case MV_IOCTL_SET_TIMEOUTS:
            return inSize == 8 && outSize == 0 ? MV_OK : kInvalidParameter;
        case MV_IOCTL_SET_HIGH_SPEED:
            return noBuffers() ? MV_OK : kInvalidParameter;
        case MV_IOCTL_GET_MODEM_STATUS:
            return inSize == 0 && outSize >= 4 ? MV_OK : kInvalidParameter;
        default:
            return kNotSupported;
        }
    });
    if (haveSnap)
        request.Use(snap);
    if (status != MV_OK)
        return status;
    {
        Live& l = L();
        std::lock_guard<std::mutex> hold(l.mutex);
        ConverterLive& c = l.Conv(*id);
        const Clock::time_point now = Clock::now();
        switch (requestCode) {
        case MV_IOCTL_SET_BAUD_RATE:
            c.endpoint.Settle(now);
            c.endpoint.format.baud = Le32(inBuffer);
            break;
        case MV_IOCTL_SET_LINE_CONTROL: {
            const auto* b = static_cast<const uint8_t*>(inBuffer);
            c.endpoint.Settle(now);
            c.endpoint.format.stopBitsCode = b[0];
            c.endpoint.format.parityCode = b[1];
            c.endpoint.format.dataBits = b[2];
            break;
        }
        case MV_IOCTL_SET_TIMEOUTS:
            c.readTimeoutMs = Le32(inBuffer);
            c.writeTimeoutMs = Le32(static_cast<uint8_t*>(inBuffer) + 4);
            break;
        case MV_IOCTL_GET_MODEM_STATUS: {
            const uint32_t value = ConverterInputs(l, snap, *id, c, now);
            std::memcpy(outBuffer, &value, 4);  // the bench runs on little-endian hosts
            returned = 4;
            break;
        }
        default:
            break;
        }
    }
    if (bytesReturned)
        *bytesReturned = returned;
    return MV_OK;
}

MV_EXPORT int MVB_PortOpen(const char* path, MVB_PORT* port)
{
    if (!path || !port)
        return MVB_ERROR_INVALID_PARAMETER;
    const std::optional<PortKind> kind = PortKindOf(path);
    if (!kind)
        return MVB_ERROR_NOT_FOUND;
    Request request(*kind == PortKind::Converter);
    Snap snap;
    bool opensFail = false;
    std::string error;
    const bool ok = Transact(
        [&](State& s, bool&, std::string&) {
            snap = SnapOf(s);
            opensFail = s.opensFail;
            return true;
        },
        error);
    if (!ok)
        return MVB_ERROR_GEN_FAILURE;
    request.Use(snap);
    if (opensFail)
        return MVB_ERROR_ACCESS_DENIED;
    if (*kind == PortKind::Converter ? snap.converter0 == 0 : snap.attachment != Attachment::Rig)
        return MVB_ERROR_NOT_FOUND;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    Port p;
    p.kind = *kind;
    switch (*kind) {
    case PortKind::Com1:
    case PortKind::Com2: {
        bool& open = *kind == PortKind::Com1 ? l.com1Open : l.com2Open;
        Endpoint& e = *kind == PortKind::Com1 ? l.com1 : l.com2;
        if (open)
            return MVB_ERROR_ACCESS_DENIED;
        open = true;
        e.Purge();
        e.dtr = e.rts = false;
        break;
    }
    case PortKind::Converter: {
        ConverterLive& c = l.Conv(snap.converter0);
        if (c.portOpen)
            return MVB_ERROR_ACCESS_DENIED;
        c.portOpen = true;
        c.endpoint.Purge();
        c.endpoint.dtr = c.endpoint.rts = false;
        p.converter = snap.converter0;
        break;
    }
    }
    const uintptr_t token = l.NewToken();
    l.ports[token] = p;
    *port = reinterpret_cast<MVB_PORT>(token);
    return 0;
}

MV_EXPORT void MVB_PortClose(MVB_PORT port)
{
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.ports.find(reinterpret_cast<uintptr_t>(port));
    if (it == l.ports.end())
        return;
    const Port p = it->second;
    l.ports.erase(it);
    switch (p.kind) {
    case PortKind::Com1:
        l.com1Open = false;
        l.com1.dtr = l.com1.rts = false;
        l.com1.Purge();
        break;
    case PortKind::Com2:
        l.com2Open = false;
        l.com2.dtr = l.com2.rts = false;
        l.com2.Purge();
        break;
    case PortKind::Converter: {
        ConverterLive& c = l.Conv(p.converter);
        c.portOpen = false;
        c.endpoint.dtr = c.endpoint.rts = false;
        break;
    }
    }
}

MV_EXPORT int MVB_PortEscape(MVB_PORT port, int function)
{
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    Snap snap;
    const int status = PortSnap(*p, snap);
    request.Use(snap);
    if (status != 0)
        return status;
    if (function < MVB_SETRTS || function > MVB_CLRDTR)
        return MVB_ERROR_INVALID_PARAMETER;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    Endpoint& e = p->kind == PortKind::Com1 ? l.com1 : p->kind == PortKind::Com2 ? l.com2 : l.Conv(p->converter).endpoint;
    switch (function) {
    case MVB_SETRTS: e.rts = true; break;
    case MVB_CLRRTS: e.rts = false; break;
    case MVB_SETDTR: e.dtr = true; break;
    case MVB_CLRDTR: e.dtr = false; break;
    default: break;
    }
    return 0;
}

MV_EXPORT int MVB_PortSetLine(MVB_PORT port, uint32_t baud, int stopBitsCode, int parityCode, int dataBits)
{
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    Snap snap;
    const int status = PortSnap(*p, snap);
    request.Use(snap);
    if (status != 0)
        return status;
    LineFormat f{baud, stopBitsCode, parityCode, dataBits};
    if (!ValidLineFormat(f))
        return MVB_ERROR_INVALID_PARAMETER;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    Endpoint& e = p->kind == PortKind::Com1 ? l.com1 : p->kind == PortKind::Com2 ? l.com2 : l.Conv(p->converter).endpoint;
    e.Settle(Clock::now());
    e.format = f;
    return 0;
}

MV_EXPORT int MVB_PortSetTimeouts(MVB_PORT port, uint32_t readInterval, uint32_t readMultiplier,
                                  uint32_t readConstant, uint32_t writeMultiplier, uint32_t writeConstant)
{
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    Snap snap;
    const int status = PortSnap(*p, snap);
    request.Use(snap);
    if (status != 0)
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.ports.find(reinterpret_cast<uintptr_t>(port));
    if (it == l.ports.end())
        return MVB_ERROR_INVALID_HANDLE;
    it->second.readInterval = readInterval;
    it->second.readMultiplier = readMultiplier;
    it->second.readConstant = readConstant;
    it->second.writeMultiplier = writeMultiplier;
    it->second.writeConstant = writeConstant;
    return 0;
}

MV_EXPORT int MVB_PortRead(MVB_PORT port, void* buffer, uint32_t size, uint32_t* got)
{
    const Clock::time_point start = Clock::now();
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    if (!got || (!buffer && size > 0))
        return MVB_ERROR_INVALID_PARAMETER;
    Snap snap;
    const int status = PortSnap(*p, snap);
    request.Use(snap);
    if (status != 0)
        return status;
    ReadRule rule;
    const uint32_t ri = p->readInterval, rm = p->readMultiplier, rc = p->readConstant;
    if (ri == kMaxDword && rm == 0 && rc == 0) {
        rule.immediate = true;
    } else if (ri == kMaxDword && rm == kMaxDword && rc != 0 && rc != kMaxDword) {
        rule.returnOnFirst = true;
        rule.total = start + std::chrono::milliseconds(rc);
    } else {
        // Capped at about 35 years (a wait without end) so the deadline stays in range.
        if (rm != 0 || rc != 0)
            rule.total = start + std::chrono::milliseconds(
                                     std::min(static_cast<uint64_t>(rm) * size + rc, uint64_t(1) << 40));
        if (ri != 0 && ri != kMaxDword)
            rule.interval = std::chrono::milliseconds(ri);
    }
    Live& l = L();
    std::unique_lock<std::mutex> lock(l.mutex);
    Endpoint& e = p->kind == PortKind::Com1 ? l.com1 : p->kind == PortKind::Com2 ? l.com2 : l.Conv(p->converter).endpoint;
    *got = ReadWaiting(lock, l, e, static_cast<uint8_t*>(buffer), size, rule, start, request);
    return 0;
}

MV_EXPORT int MVB_PortWrite(MVB_PORT port, const void* buffer, uint32_t size, uint32_t* put)
{
    const Clock::time_point start = Clock::now();
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    if (!put || (!buffer && size > 0))
        return MVB_ERROR_INVALID_PARAMETER;
    Snap snap;
    const int status = PortSnap(*p, snap);
    request.Use(snap);
    if (status != 0)
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    const auto* data = static_cast<const uint8_t*>(buffer);
    if (p->kind == PortKind::Converter)
        ConverterSend(l, snap, p->converter, l.Conv(p->converter), data, size, start);
    else
        RigPortSend(l, snap, p->kind, data, size, start);
    *put = size;
    return 0;
}

MV_EXPORT int MVB_PortModemStatus(MVB_PORT port, uint32_t* status)
{
    const std::optional<Port> p = FindPort(port);
    if (!p)
        return MVB_ERROR_INVALID_HANDLE;
    Request request(p->kind == PortKind::Converter);
    if (!status)
        return MVB_ERROR_INVALID_PARAMETER;
    Snap snap;
    const int result = PortSnap(*p, snap);
    request.Use(snap);
    if (result != 0)
        return result;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    // Nothing on the rig drives the PC ports' inputs.
    *status = p->kind == PortKind::Converter
                  ? ConverterInputs(l, snap, p->converter, l.Conv(p->converter), Clock::now())
                  : 0;
    return 0;
}

MV_EXPORT uint64_t MVB_ChargedMicroseconds(void) { return chargedNs.load() / 1000; }

MV_EXPORT void MVB_ResetCharged(void) { chargedNs = 0; }

}  // extern "C"
