// The Device menu's Read and Erase commands on converter 0: a hex dump of the EEPROM into
// the log, and erasing it with a status notice.
#pragma once

#include "reporter.h"

namespace eemint {

void ReadItemRun(Reporter& reporter);   // ReadItemClick
void EraseItemRun(Reporter& reporter);  // EraseItemClick

}  // namespace eemint
