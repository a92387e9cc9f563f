#include "benchfixture.h"

#include "testenv.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

ScopedBench::ScopedBench(mvbench::Timing timing) : dir_("mvbench")
{
    if (const char* old = std::getenv("MVBENCH_DIR"))
        previous_ = old;
    const std::u8string dir = dir_.Path().u8string();
    SetEnv("MVBENCH_DIR", std::string(dir.begin(), dir.end()));
    if (!mvbench::Reset() || !mvbench::SetTiming(timing))
        throw std::runtime_error("cannot set up the bench: " + mvbench::LastError());
}

ScopedBench::~ScopedBench()
{
    if (previous_)
        SetEnv("MVBENCH_DIR", *previous_);
    else
        UnsetEnv("MVBENCH_DIR");
}

}  // namespace testsupport
