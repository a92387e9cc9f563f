// Duoterm's blocking request pause `waitT`: blocks the calling thread for the given
// time, as the wait on an event that nobody signals does. Plain C++, no Qt.
#pragma once

namespace traffic {

// Blocks for `ms` milliseconds (nothing for 0 or less); spurious wake-ups do not shorten it.
void waitT(int ms);

}  // namespace traffic
