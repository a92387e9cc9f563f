#include "drivercore.h"

#include "benchplatform.h"
#include "mvusb.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace mvbench {

namespace {
std::atomic<uint64_t> chargedNs{0};
}

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

Live::PortSide Live::SideOf(const Port& port)
{
    switch (port.kind) {
    case PortKind::Com1: return {com1, com1Open};
    case PortKind::Com2: return {com2, com2Open};
    case PortKind::Converter: break;
    }
    ConverterLive& c = Conv(port.converter);
    return {c.endpoint, c.portOpen};
}

Live& L()
{
    static Live* live = new Live;
    return *live;
}

void Request::Use(const Snap& snap)
{
    real_ = snap.real;
    if (real_)
        UsePreciseTimers();
    latency_ = hasLatency_ ? snap.latency : std::chrono::microseconds(0);
}

Request::~Request()
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

uint64_t ChargedMicroseconds() { return chargedNs.load() / 1000; }

void ResetCharged() { chargedNs = 0; }

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

}  // namespace mvbench
