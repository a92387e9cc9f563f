// A clock for serial-number tests: any local date and time, and sleeps that only move it on.
#pragma once

#include <chrono>
#include <ctime>

#include "serialnumber.h"

namespace testsupport {

class FakeClock final : public eemint::Clock {
public:
    using TimePoint = std::chrono::sys_time<std::chrono::milliseconds>;

    FakeClock(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) { Set(year, month, day, hour, minute, second); }

    // month 1-12 here, as a calendar writes it.
    void Set(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
    {
        using namespace std::chrono;
        now_ = sys_days{std::chrono::year{year} / month / day} + hours{hour} + minutes{minute} + seconds{second};
    }
    void Advance(std::chrono::milliseconds by) { now_ += by; }
    // A clock that no longer moves, not even by sleeping.
    void Freeze() { frozen_ = true; }

    std::tm LocalNow() override
    {
        using namespace std::chrono;
        const auto day = floor<days>(now_);
        const year_month_day date{day};
        const hh_mm_ss time{floor<seconds>(now_ - day)};
        std::tm tm{};
        tm.tm_year = int(date.year()) - 1900;
        tm.tm_mon = int(unsigned(date.month())) - 1;
        tm.tm_mday = int(unsigned(date.day()));
        tm.tm_hour = int(time.hours().count());
        tm.tm_min = int(time.minutes().count());
        tm.tm_sec = int(time.seconds().count());
        return tm;
    }
    void Sleep(std::chrono::milliseconds duration) override
    {
        slept_ += duration;
        if (!frozen_)
            now_ += duration;
    }

    std::chrono::milliseconds Slept() const { return slept_; }

private:
    TimePoint now_{};
    std::chrono::milliseconds slept_{0};
    bool frozen_ = false;
};

}  // namespace testsupport
