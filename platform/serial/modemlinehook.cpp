#include "modemlinehook.h"

namespace platform {

namespace {
ModemLineHook* installedHook = nullptr;
}

void InstallModemLineHook(ModemLineHook* hook) { installedHook = hook; }

ModemLineHook* InstalledModemLineHook() { return installedHook; }

}  // namespace platform
