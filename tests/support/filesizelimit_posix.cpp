#include "filesizelimit.h"

#include <sys/resource.h>

#include <csignal>

namespace testsupport {

FileSizeLimit::FileSizeLimit(uint64_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    saved_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (!active_)
        return;
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = saved_;
    setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace testsupport
