// The live serial side of the bench, in process memory: line settings, output lines, bytes
// in flight with their arrival times, and the modem's AT dialogue. Not thread-safe by itself:
// the driver library guards every object here with its one mutex.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace mvbench {

using Clock = std::chrono::steady_clock;

struct LineFormat {
    uint32_t baud = 9600;
    int stopBitsCode = 0;  // 0: 1, 1: 1.5, 2: 2 stop bits
    int parityCode = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    bool operator==(const LineFormat&) const = default;
};

bool ValidLineFormat(const LineFormat& format);
// Start, data, parity and stop bits of one character.
double BitsPerCharacter(const LineFormat& format);
// Time one character takes on the line (zero when `timed` is false).
Clock::duration CharacterTime(const LineFormat& format, bool timed);
// The byte a receiver set to `receiver` decodes from `byte` sent with `sender`: the byte itself
// (masked to the data bits) when both match, else a deterministic corruption that never equals
// the masked byte.
uint8_t Receive(uint8_t byte, const LineFormat& sender, const LineFormat& receiver);

struct InFlight {
    uint8_t byte;
    Clock::time_point arrival;
    LineFormat sent;
};

// One end of a serial link.
struct Endpoint {
    LineFormat format;
    bool dtr = false;
    bool rts = false;
    std::deque<InFlight> incoming;   // not yet arrived, by arrival time
    struct Arrived {
        uint8_t byte;
        Clock::time_point at;
    };
    std::deque<Arrived> received;    // arrived and decoded, waiting to be read
    Clock::time_point transmitterFree{};

    // Moves every byte that has arrived by `now` into `received`, decoded with the current
    // line settings. Call before the settings change and before reading.
    void Settle(Clock::time_point now);
    // Arrival time of the next byte still in flight, if any.
    bool NextArrival(Clock::time_point& when) const;
    void Purge();
    // Queues one byte arriving at `when` (keeps `incoming` ordered).
    void Deliver(uint8_t byte, Clock::time_point when, const LineFormat& sent);
};

// Sends bytes from `from`'s transmitter to `to` (nullptr: nowhere). The transmitter sends
// them one after another from `now` or when it is free; returns each byte's arrival time.
std::vector<Clock::time_point> Transmit(Endpoint& from, Endpoint* to, const uint8_t* data, size_t size,
                                        Clock::time_point now, bool timed);

// A modem on a converter's serial side: echoes what it receives, answers complete AT command
// lines with "\r\nOK\r\n" (or "\r\nERROR\r\n" when told to fail), and drives CTS, DSR and DCD
// as AT&R, AT&S and AT&C set them; ATZ restores the defaults. It adopts the speed and format
// of what it receives, as a modem does from the "AT" prefix.
class Modem {
public:
    // The modem receives `data` arriving at `arrivals`, sent with `format`; its echo and
    // replies go back to `converter`.
    void Receive(const uint8_t* data, const std::vector<Clock::time_point>& arrivals,
                 const LineFormat& format, Endpoint& converter, bool errorReply, bool timed);
    // The converter's CTS, DSR and DCD at `now`, given the converter's RTS output.
    uint32_t Status(Clock::time_point now, bool converterRts, bool linesStuck);

private:
    struct Settings {
        bool ctsAlwaysOn = true;   // &R1; &R0: CTS follows RTS
        bool dsrAlwaysOn = true;   // &S0; &S1: DSR only when connected
        bool dcdAlwaysOn = false;  // &C0; &C1: DCD only with a carrier
    };
    Settings Apply(const std::string& command, Settings s) const;
    void Advance(Clock::time_point now);

    Settings settings_;
    Settings pendingBase_;  // the settings after every queued change
    std::vector<std::pair<Clock::time_point, Settings>> changes_;
    std::string line_;
    Endpoint transmitter_;
};

}  // namespace mvbench
