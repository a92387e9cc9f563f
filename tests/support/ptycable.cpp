#include "ptycable.h"

namespace testsupport {

void PtyCable::SetTransform(Transform transform)
{
    std::lock_guard lock(mutex_);
    transform_ = std::move(transform);
}

void PtyCable::Pass(int direction, std::string& bytes)
{
    std::lock_guard lock(mutex_);
    if (transform_)
        transform_(direction, bytes);
}

}  // namespace testsupport
