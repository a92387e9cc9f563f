#include "scopedsettings.h"
#include "testenv.h"

#include <cstdlib>

namespace testsupport {

ScopedSettings::ScopedSettings() : folder_("settings")
{
    if (const char* old = std::getenv("XDG_CONFIG_HOME"))
        previous_ = old;
    SetEnv("XDG_CONFIG_HOME", folder_.Path().string());
}

ScopedSettings::~ScopedSettings()
{
    if (previous_)
        SetEnv("XDG_CONFIG_HOME", *previous_);
    else
        UnsetEnv("XDG_CONFIG_HOME");
}

bool ScopedSettings::HasConfigFolder()
{
    return true;
}

}  // namespace testsupport
