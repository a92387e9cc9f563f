// The bench's port extensions of the simulated driver library (mvbench_ports.h): the rig's
// COM1 and COM2 and converter 0's own port MVPORT-0, over the process's live serial side
// (drivercore.h).
#include "drivercore.h"
#include "mvbench_ports.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>
#include <string>

using namespace mvbench;

namespace {

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
    bool plugged = true;
    std::string error;
    const bool ok = Transact(
        [&](State& s, bool&, std::string&) {
            snap = SnapOf(s);
            if (port.kind == PortKind::Converter)
                plugged = s.IndexOf(port.converter) >= 0;
            return true;
        },
        error);
    return ok && plugged ? 0 : MVB_ERROR_GEN_FAILURE;
}

// The start every call on an open port shares: the port is looked up, the request is timed
// from here (with the converter's latency on MVPORT-0), and Begin checks the arguments,
// reads the bench state and takes its timing.
class PortCall {
public:
    explicit PortCall(MVB_PORT handle)
        : start_(Clock::now()), handle_(handle), port_(FindPort(handle)),
          request_(port_ && port_->kind == PortKind::Converter)
    {
    }

    // 0, or the status the call ends with.
    int Begin(bool argumentsValid = true)
    {
        if (!port_)
            return MVB_ERROR_INVALID_HANDLE;
        if (!argumentsValid)
            return MVB_ERROR_INVALID_PARAMETER;
        const int status = PortSnap(*port_, snap_);
        request_.Use(snap_);
        return status;
    }

    const Port& Which() const { return *port_; }
    MVB_PORT Handle() const { return handle_; }
    const Snap& State() const { return snap_; }
    Clock::time_point Start() const { return start_; }
    Request& Timing() { return request_; }

private:
    Clock::time_point start_;
    MVB_PORT handle_;
    std::optional<Port> port_;
    Request request_;
    Snap snap_;
};

}  // namespace

extern "C" {

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
    if (*kind == PortKind::Converter)
        p.converter = snap.converter0;
    const Live::PortSide side = l.SideOf(p);
    if (side.open)
        return MVB_ERROR_ACCESS_DENIED;
    side.open = true;
    side.endpoint.Purge();
    side.endpoint.dtr = side.endpoint.rts = false;
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
    const Live::PortSide side = l.SideOf(p);
    side.open = false;
    side.endpoint.dtr = side.endpoint.rts = false;
    // What the converter received stays: its driver handle (MV_Read) reads the same queue.
    if (p.kind != PortKind::Converter)
        side.endpoint.Purge();
}

MV_EXPORT int MVB_PortEscape(MVB_PORT port, int function)
{
    PortCall call(port);
    if (const int status = call.Begin())
        return status;
    if (function < MVB_SETRTS || function > MVB_CLRDTR)
        return MVB_ERROR_INVALID_PARAMETER;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    Endpoint& e = l.SideOf(call.Which()).endpoint;
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
    PortCall call(port);
    if (const int status = call.Begin())
        return status;
    LineFormat f{baud, stopBitsCode, parityCode, dataBits};
    if (!ValidLineFormat(f))
        return MVB_ERROR_INVALID_PARAMETER;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    Endpoint& e = l.SideOf(call.Which()).endpoint;
    e.Settle(Clock::now());
    e.format = f;
    return 0;
}

MV_EXPORT int MVB_PortSetTimeouts(MVB_PORT port, uint32_t readInterval, uint32_t readMultiplier,
                                  uint32_t readConstant, uint32_t writeMultiplier, uint32_t writeConstant)
{
    PortCall call(port);
    if (const int status = call.Begin())
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.ports.find(reinterpret_cast<uintptr_t>(call.Handle()));
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
    PortCall call(port);
    if (const int status = call.Begin(got && (buffer || size == 0)))
        return status;
    const Port& p = call.Which();
    const Clock::time_point start = call.Start();
    ReadRule rule;
    const uint32_t ri = p.readInterval, rm = p.readMultiplier, rc = p.readConstant;
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
    *got = ReadWaiting(lock, l, l.SideOf(p).endpoint, static_cast<uint8_t*>(buffer), size, rule, start, call.Timing());
    return 0;
}

MV_EXPORT int MVB_PortWrite(MVB_PORT port, const void* buffer, uint32_t size, uint32_t* put)
{
    PortCall call(port);
    if (const int status = call.Begin(put && (buffer || size == 0)))
        return status;
    const Port& p = call.Which();
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    const auto* data = static_cast<const uint8_t*>(buffer);
    if (p.kind == PortKind::Converter) {
        ConverterSend(l, call.State(), p.converter, l.Conv(p.converter), data, size, call.Start());
    } else {
        // COM2's transmit wire runs to the converter's receive side; COM1's goes nowhere.
        const Snap& s = call.State();
        Endpoint* to = nullptr;
        if (p.kind == PortKind::Com2 && s.attachment == Attachment::Rig && s.converter0 != 0 &&
            !s.IsCut(Wire::Com2TxToRx))
            to = &l.Conv(s.converter0).endpoint;
        Transmit(l.SideOf(p).endpoint, to, data, size, call.Start(), s.real);
        l.arrived.notify_all();
    }
    *put = size;
    return 0;
}

MV_EXPORT int MVB_PortModemStatus(MVB_PORT port, uint32_t* status)
{
    PortCall call(port);
    if (const int result = call.Begin(status != nullptr))
        return result;
    const Port& p = call.Which();
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    // Nothing on the rig drives the PC ports' inputs.
    *status = p.kind == PortKind::Converter
                  ? ConverterInputs(l, call.State(), p.converter, l.Conv(p.converter), Clock::now())
                  : 0;
    return 0;
}

MV_EXPORT uint64_t MVB_ChargedMicroseconds(void) { return ChargedMicroseconds(); }

MV_EXPORT void MVB_ResetCharged(void) { ResetCharged(); }

}  // extern "C"
