#include "filesizelimit.h"

namespace testsupport {

FileSizeLimit::FileSizeLimit(uint64_t) {}

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace testsupport
