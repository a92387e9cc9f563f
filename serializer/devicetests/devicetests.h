// The Test and Test Modem commands: the identity stored in converter 0, then the loopback
// rig's or the modem's test groups and the verdict, reported as log lines.
#pragma once

#include "reporter.h"

namespace eemint {

void RunLoopbackTest(Reporter& reporter);  // TestItemClick
void RunModemTest(Reporter& reporter);     // TestModemItemClick

// The identity printout both commands start with. False (after "Failed to open device for
// read" through ShowError) when converter 0 cannot be read; the command ends there.
bool PrintDeviceIdentity(Reporter& reporter);

}  // namespace eemint
