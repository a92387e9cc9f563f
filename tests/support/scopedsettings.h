// A fresh, empty settings store for the life of the object, for tests of the programs that
// keep settings: on Linux a temporary XDG configuration folder (XDG_CONFIG_HOME names it; the
// previous value comes back at the end), on Windows the program's registry key, removed
// before and after.
#pragma once

#include "tempdir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

class ScopedSettings {
public:
    ScopedSettings();
    ~ScopedSettings();
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

    // The configuration folder (Linux; on Windows an unused temporary folder).
    const std::filesystem::path& Folder() const { return folder_.Path(); }
    // Whether the store can be made unwritable by pointing XDG_CONFIG_HOME at a plain file
    // (only the file backend has such a folder).
    static bool HasConfigFolder();

private:
    TempDir folder_;
    std::optional<std::string> previous_;
};

}  // namespace testsupport
