// A limit on the size of the files this process writes, for the life of the object, so a test
// can make a write fail as on a full disk (POSIX RLIMIT_FSIZE, with SIGXFSZ ignored so the
// write fails instead of the process ending). Windows has no such limit: Active() is false
// there and the test skips.
#pragma once

#include <cstdint>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active_; }

private:
    bool active_ = false;
    uint64_t saved_ = 0;
};

}  // namespace testsupport
