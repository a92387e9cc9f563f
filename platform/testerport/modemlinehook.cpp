#include "modemlinehook.h"

namespace platform::testerport {

namespace {
ModemLineHook* installedHook = nullptr;
}

void InstallModemLineHook(ModemLineHook* hook) { installedHook = hook; }

ModemLineHook* InstalledModemLineHook() { return installedHook; }

}  // namespace platform::testerport
