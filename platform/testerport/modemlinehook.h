// A stand-in for the modem-control lines of the operating system's serial devices, for tests
// on devices that have none (pseudo-terminals, and COM ports under Wine). While a hook is
// installed, every device of the operating-system backend drives RTS and DTR and reads its
// input lines through the hook instead of the system. The bench backend never uses it.
//
// Threads: install or remove a hook only while no device is in use.
#pragma once

#include <cstdint>
#include <string>

namespace platform::testerport {

enum class ModemOutput { Rts, Dtr };

class ModemLineHook {
public:
    virtual ~ModemLineHook() = default;
    // path: the path the device was opened by. Return false to make the call fail.
    virtual bool Drive(const std::string& path, ModemOutput line, bool on) = 0;
    // status: the input lines as ms::CtsOn | ms::DsrOn | ms::RingOn | ms::RlsdOn.
    virtual bool Read(const std::string& path, uint32_t* status) = 0;
};

// Installs a hook (nullptr: the system's lines again).
void InstallModemLineHook(ModemLineHook* hook);
ModemLineHook* InstalledModemLineHook();

}  // namespace platform::testerport
