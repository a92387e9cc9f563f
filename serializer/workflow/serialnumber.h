// Serial numbers for programmed converters: the two-character manufacturer ID followed by six
// base-36 digits made from the local date and time and two bits of the product ID. A
// generator never hands out the same number twice in one run of the program: the clock only
// moves every two seconds, so a repeat waits for the next slot.
//
// Threads: a generator and its clock are used from one thread at a time (the user-interface
// thread in the program).
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace eemint {

// The local time for serial numbers, and the wait for the next clock slot; tests give any
// date and need not sleep.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::tm LocalNow() = 0;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};
// The machine's local time, portable to every platform the program builds for.
Clock& SystemClock();

class SerialNumberGenerator {
public:
    explicit SerialNumberGenerator(Clock& clock);

    // The time and product bits packed field by field: P, then year - 1999 (4 bits), month
    // 0-11 (5 bits), day 1-31 (4 bits), hour (5 bits), minute (6 bits), second / 2 (5 bits).
    // Fields are ORed in after each shift, so wide values spill into the field before them;
    // the packing stays so, since serial numbers already on converters must keep meaning the
    // same thing.
    static uint64_t PackTime(unsigned productBits, const std::tm& time);
    // Base 36, upper case, padded with "0" to six digits, cut to the first six.
    static std::string SixDigits(uint64_t value);
    // The serial number for a given time: the first two characters of the manufacturer ID
    // (blanks kept; a shorter text is padded with blanks) and the six digits.
    static std::string Format(const std::string& manufacturerId, unsigned productBits, const std::tm& time);

    // The number the clock gives now, without issuing it.
    std::string Peek(const std::string& manufacturerId, unsigned productBits);

    // Issues a number not issued before in this run. When the clock would repeat one, waits for
    // a fresh one (normally the next two-second slot; at most a little over 2 s), telling
    // `note` first. Returns nothing when the clock gives no fresh number within that time.
    std::optional<std::string> Issue(const std::string& manufacturerId, unsigned productBits,
                                     const std::function<void(const std::string&)>& note);

    // The note given before a wait, for a number already issued.
    static std::string WaitNote(const std::string& serial);

private:
    Clock& clock_;
    // Every number issued in this run (a few bytes a converter).
    std::set<std::string> issued_;
};

}  // namespace eemint
