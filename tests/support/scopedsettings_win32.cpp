#include "scopedsettings.h"
#include "settingsstore.h"

namespace testsupport {

ScopedSettings::ScopedSettings() : folder_("settings")
{
    platform::DeleteSettingsStore({});
}

ScopedSettings::~ScopedSettings()
{
    platform::DeleteSettingsStore({});
}

bool ScopedSettings::HasConfigFolder()
{
    return false;
}

}  // namespace testsupport
