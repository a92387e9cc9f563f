#include "benchfixture.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

ScopedBench::ScopedBench(mvbench::Timing timing) : dir_("mvbench")
{
    if (const char* old = std::getenv("MVBENCH_DIR"))
        previous_ = old;
    ::setenv("MVBENCH_DIR", dir_.Path().c_str(), 1);
    if (!mvbench::Reset() || !mvbench::SetTiming(timing))
        throw std::runtime_error("cannot set up the bench: " + mvbench::LastError());
}

ScopedBench::~ScopedBench()
{
    if (previous_)
        ::setenv("MVBENCH_DIR", previous_->c_str(), 1);
    else
        ::unsetenv("MVBENCH_DIR");
}

}  // namespace testsupport
