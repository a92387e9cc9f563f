// A fresh simulated bench for the life of the object: a temporary bench folder named by
// MVBENCH_DIR (the previous value comes back at the end), the default bench in it, and fast
// timing unless real timing is asked for.
#pragma once

#include "benchcontrol.h"
#include "tempdir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

class ScopedBench {
public:
    explicit ScopedBench(mvbench::Timing timing = mvbench::Timing::Fast);
    ~ScopedBench();
    ScopedBench(const ScopedBench&) = delete;
    ScopedBench& operator=(const ScopedBench&) = delete;

    const std::filesystem::path& Dir() const { return dir_.Path(); }

private:
    TempDir dir_;
    std::optional<std::string> previous_;
};

}  // namespace testsupport
