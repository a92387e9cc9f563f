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

// One value per two-second slot of the calendar; only equality matters.
uint64_t SlotKey(const std::tm& t)
{
    auto field = [](int v) { return static_cast<uint64_t>(static_cast<uint32_t>(v)); };
    return (((((field(t.tm_year) * 12 + field(t.tm_mon)) * 32 + field(t.tm_mday)) * 24 + field(t.tm_hour)) * 60 +
             field(t.tm_min)) * 30) + field(t.tm_sec) / 2;
}

constexpr std::chrono::milliseconds kPollStep{20};
// A little over one slot, for sleeps that overshoot; a clock that has not moved on by then
// is not going to.
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
    std::tm now = clock_.LocalNow();
    std::string serial = Format(manufacturerId, productBits, now);
    if (slot_ == SlotKey(now) && issuedInSlot_.count(serial)) {
        if (note)
            note(WaitNote(serial));
        const uint64_t repeated = SlotKey(now);
        std::chrono::milliseconds waited{0};
        while (SlotKey(now) == repeated) {
            if (waited >= kLongestWait)
                return std::nullopt;
            clock_.Sleep(kPollStep);
            waited += kPollStep;
            now = clock_.LocalNow();
        }
        serial = Format(manufacturerId, productBits, now);
    }
    if (slot_ != SlotKey(now)) {
        slot_ = SlotKey(now);
        issuedInSlot_.clear();
    }
    issuedInSlot_.insert(serial);
    return serial;
}

}  // namespace eemint
