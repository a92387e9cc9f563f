#include "serialline.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace mvbench {

bool ValidLineFormat(const LineFormat& f)
{
    return f.baud >= 50 && f.baud <= 4000000 && f.stopBitsCode >= 0 && f.stopBitsCode <= 2 &&
           f.parityCode >= 0 && f.parityCode <= 4 && f.dataBits >= 5 && f.dataBits <= 8;
}

double BitsPerCharacter(const LineFormat& f)
{
    const double stop = f.stopBitsCode == 0 ? 1.0 : f.stopBitsCode == 1 ? 1.5 : 2.0;
    return 1.0 + f.dataBits + (f.parityCode != 0 ? 1.0 : 0.0) + stop;
}

Clock::duration CharacterTime(const LineFormat& f, bool timed)
{
    if (!timed)
        return Clock::duration::zero();
    const double ns = BitsPerCharacter(f) * 1e9 / static_cast<double>(f.baud);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(std::llround(ns)));
}

uint8_t Receive(uint8_t byte, const LineFormat& sender, const LineFormat& receiver)
{
    const unsigned mask = (1u << receiver.dataBits) - 1u;
    const unsigned clean = byte & mask;
    if (sender == receiver)
        return static_cast<uint8_t>(clean);
    // A receiver sampling at the wrong rate or framing sees a different bit pattern; mix the
    // two settings and the byte into a fixed non-zero difference.
    uint32_t h = 2166136261u;
    for (uint32_t v : {sender.baud, receiver.baud, static_cast<uint32_t>(sender.dataBits * 16 + sender.parityCode * 4 + sender.stopBitsCode),
                       static_cast<uint32_t>(receiver.dataBits * 16 + receiver.parityCode * 4 + receiver.stopBitsCode),
                       static_cast<uint32_t>(byte)}) {
        h ^= v;
        h *= 16777619u;
    }
    const unsigned difference = 1u + (h % mask);
    return static_cast<uint8_t>((clean ^ difference) & mask);
}

void Endpoint::Settle(Clock::time_point now)
{
    while (!incoming.empty() && incoming.front().arrival <= now) {
        const InFlight& f = incoming.front();
        received.push_back({Receive(f.byte, f.sent, format), f.arrival});
        incoming.pop_front();
    }
}

bool Endpoint::NextArrival(Clock::time_point& when) const
{
    if (incoming.empty())
        return false;
    when = incoming.front().arrival;
    return true;
}

void Endpoint::Purge()
{
    incoming.clear();
    received.clear();
}

void Endpoint::Deliver(uint8_t byte, Clock::time_point when, const LineFormat& sent)
{
    if (incoming.empty() || incoming.back().arrival <= when) {
        incoming.push_back({byte, when, sent});
        return;
    }
    auto at = std::upper_bound(incoming.begin(), incoming.end(), when,
                               [](Clock::time_point t, const InFlight& f) { return t < f.arrival; });
    incoming.insert(at, InFlight{byte, when, sent});
}

std::vector<Clock::time_point> Transmit(Endpoint& from, Endpoint* to, const uint8_t* data, size_t size,
                                        Clock::time_point now, bool timed)
{
    std::vector<Clock::time_point> arrivals;
    arrivals.reserve(size);
    const Clock::duration each = CharacterTime(from.format, timed);
    Clock::time_point t = std::max(now, from.transmitterFree);
    for (size_t i = 0; i < size; ++i) {
        t += each;
        arrivals.push_back(t);
        if (to)
            to->Deliver(data[i], t, from.format);
    }
    from.transmitterFree = t;
    return arrivals;
}

Modem::Settings Modem::Apply(const std::string& command, Settings s) const
{
    // command is the upper-cased text after "AT".
    for (size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (c == 'Z') {
            s = Settings{};
        } else if (c == '&' && i + 2 < command.size()) {
            const char what = command[i + 1];
            const char digit = command[i + 2];
            if ((digit == '0' || digit == '1') && (what == 'R' || what == 'S' || what == 'C')) {
                const bool one = digit == '1';
                if (what == 'R')
                    s.ctsAlwaysOn = one;
                else if (what == 'S')
                    s.dsrAlwaysOn = !one;
                else
                    s.dcdAlwaysOn = !one;
                i += 2;
            }
        }
    }
    return s;
}

void Modem::Receive(const uint8_t* data, const std::vector<Clock::time_point>& arrivals,
                    const LineFormat& format, Endpoint& converter, bool errorReply, bool timed)
{
    transmitter_.format = format;
    for (size_t i = 0; i < arrivals.size(); ++i) {
        const uint8_t byte = data[i];
        const Clock::time_point at = arrivals[i];
        Transmit(transmitter_, &converter, &byte, 1, at, timed);
        if (byte != '\r') {
            if (line_.size() < 256)
                line_.push_back(static_cast<char>(byte));
            continue;
        }
        std::string text;
        for (char c : line_)
            text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        line_.clear();
        // Only lines that start with AT are commands; anything before them is noise.
        const size_t start = text.find("AT");
        if (start == std::string::npos)
            continue;
        pendingBase_ = Apply(text.substr(start + 2), pendingBase_);
        changes_.emplace_back(at, pendingBase_);
        static const std::string ok = "\r\nOK\r\n", error = "\r\nERROR\r\n";
        const std::string& reply = errorReply ? error : ok;
        Transmit(transmitter_, &converter, reinterpret_cast<const uint8_t*>(reply.data()), reply.size(),
                 at, timed);
    }
}

void Modem::Advance(Clock::time_point now)
{
    size_t done = 0;
    while (done < changes_.size() && changes_[done].first <= now) {
        settings_ = changes_[done].second;
        ++done;
    }
    changes_.erase(changes_.begin(), changes_.begin() + static_cast<long>(done));
}

uint32_t Modem::Status(Clock::time_point now, bool converterRts, bool linesStuck)
{
    Advance(now);
    if (linesStuck)
        return 0;
    uint32_t status = 0;
    if (settings_.ctsAlwaysOn || converterRts)
        status |= 0x10;
    if (settings_.dsrAlwaysOn)
        status |= 0x20;
    if (settings_.dcdAlwaysOn)
        status |= 0x80;
    return status;
}

}  // namespace mvbench
