// Placeholder until the programming flow lands.
#include "programming.h"

#include <thread>

namespace eemint {

namespace {
class SystemClockImpl final : public Clock {
public:
    std::tm LocalNow() override
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return local;
    }
    void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};
}  // namespace

Clock& SystemClock()
{
    static SystemClockImpl clock;
    return clock;
}

ProgrammingFlow::ProgrammingFlow(Clock& clock) : clock_(clock) {}
void ProgrammingFlow::Program(const ProductConfiguration&, bool, Reporter&) {}
void ProgrammingFlow::ProgramToFile(const ProductConfiguration&, const std::string&, Reporter&) {}

}  // namespace eemint
