// The Test and Test Modem commands: the identity stored in converter 0, then the loopback
// rig's or the modem's test groups and the verdict, reported as log lines.
#pragma once

#include "reporter.h"

namespace eemint {

void RunLoopbackTest(Reporter& reporter);  // TestItemClick
void RunModemTest(Reporter& reporter);     // TestModemItemClick

}  // namespace eemint
