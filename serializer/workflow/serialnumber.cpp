#include "serialnumber.h"

#include <mutex>
#include <thread>

namespace eemint {

namespace {

// std::localtime is the one local-time conversion every standard library offers; its result
// lives in a shared buffer, so conversions are serialised and the result copied out.
class SystemClockImpl final : public Clock {
public:
    std::tm LocalNow() override
    {
        const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::lock_guard lock(mutex_);
        const std::tm* local = std::localtime(&now);
        return local ? *local : std::tm{};
    }
    void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

private:
    std::mutex mutex_;
};

constexpr std::chrono::milliseconds kPollStep{20};
// A little over one slot, for sleeps that overshoot; a clock that gives no fresh number by
// then is not going to soon.
constexpr std::chrono::milliseconds kLongestWait{2500};

}  // namespace

Clock& SystemClock()
{
    static SystemClockImpl clock;
    return clock;
}

SerialNumberGenerator::SerialNumberGenerator(Clock& clock) : clock_(clock) {}

uint64_t SerialNumberGenerator::PackTime(unsigned productBits, const std::tm& time)
{
    // Negative or oversized fields (a clock before 1999) wrap as unsigned values; the result
    // is still six well-defined digits.
    auto field = [](int v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); };
    uint64_t v = productBits;
    v = (v << 4) | field(time.tm_year + 1900 - 1999);
    v = (v << 5) | field(time.tm_mon);
    v = (v << 4) | field(time.tm_mday);
    v = (v << 5) | field(time.tm_hour);
    v = (v << 6) | field(time.tm_min);
    v = (v << 5) | field(time.tm_sec / 2);
    return v;
}

std::string SerialNumberGenerator::SixDigits(uint64_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 36]);
        value /= 36;
    } while (value != 0);
    if (digits.size() < 6)
        digits.insert(0, 6 - digits.size(), '0');
    return digits.substr(0, 6);
}

std::string SerialNumberGenerator::Format(const std::string& manufacturerId, unsigned productBits,
                                          const std::tm& time)
{
    std::string prefix = manufacturerId.substr(0, 2);
    prefix.resize(2, ' ');
    return prefix + SixDigits(PackTime(productBits, time));
}

std::string SerialNumberGenerator::Peek(const std::string& manufacturerId, unsigned productBits)
{
    return Format(manufacturerId, productBits, clock_.LocalNow());
}

std::string SerialNumberGenerator::WaitNote(const std::string& serial)
{
    return "Serial number " + serial + " already issued, waiting for the next one...";
}

std::optional<std::string> SerialNumberGenerator::Issue(const std::string& manufacturerId, unsigned productBits,
                                                        const std::function<void(const std::string&)>& note)
{
    std::string serial = Format(manufacturerId, productBits, clock_.LocalNow());
    if (issued_.count(serial)) {
        if (note)
            note(WaitNote(serial));
        // Usually the next two-second slot gives a fresh number. A clock set back (the end of
        // summer time, a correction) may give numbers issued earlier in the run for a while:
        // those are skipped the same way, and a clock that gives nothing fresh gives nothing.
        std::chrono::milliseconds waited{0};
        while (issued_.count(serial)) {
            if (waited >= kLongestWait)
                return std::nullopt;
            clock_.Sleep(kPollStep);
            waited += kPollStep;
            serial = Format(manufacturerId, productBits, clock_.LocalNow());
        }
    }
    issued_.insert(serial);
    return serial;
}

}  // namespace eemint
