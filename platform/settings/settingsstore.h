// The settings store: a tree of keys holding named string values under one root key, shaped
// like the Windows registry. On Windows it is the registry itself (a key under
// HKEY_CURRENT_USER, REG_SZ values); elsewhere it is one file in the user's XDG config
// directory holding the same tree, rewritten atomically on every change.
//
// Texts (key names, value names, values) are UTF-8. A key path names a key below the root:
// key names joined by "\", the empty path is the root itself; a path with an empty key name
// (leading, trailing or doubled "\") or a key name longer than 255 characters is invalid and
// every operation on it fails. Key and value names are compared without regard to letter case
// and keep the case they were created with. Subkeys are listed in alphabetical order without
// regard to letter case, the order the registry itself uses. Values cannot hold NUL.
//
// Nothing is cached: every call reads the stored tree afresh, so several store objects (and
// several processes) may work on the same tree. A store object must be used by one thread at
// a time; separate objects may be used on separate threads.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Where a store lives. Each backend reads only its own field.
struct SettingsLocation {
    // Registry backend: key path under HKEY_CURRENT_USER.
    std::string registryKey = "Software\\MAVIX\\ROMTOOL";
    // File backend: the store file; a relative path is taken inside the XDG config directory
    // ($XDG_CONFIG_HOME when it is an absolute path, else ~/.config).
    std::string file = "eemint/romtool.conf";
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Creates the key (and the keys above it) when missing. True when it exists afterwards.
    virtual bool CreateKey(const std::string& path) = 0;
    virtual bool KeyExists(const std::string& path) = 0;
    // Names of the direct subkeys, in the registry's order; empty when the key is missing.
    virtual std::vector<std::string> SubkeyNames(const std::string& path) = 0;
    // The value's text, or nothing when the key or the value is missing.
    virtual std::optional<std::string> ReadString(const std::string& path, const std::string& name) = 0;
    // Writes the value, creating the key path when missing.
    virtual bool WriteString(const std::string& path, const std::string& name, const std::string& value) = 0;
    // Removes the value; true when it is absent afterwards (a missing value or key counts).
    virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;
    // Removes the key with everything below it; true when it is absent afterwards. The root
    // itself cannot be removed this way (see DeleteSettingsStore).
    virtual bool DeleteKey(const std::string& path) = 0;

    // What went wrong in the last failed call, for diagnostics; empty when nothing failed.
    virtual std::string LastError() const = 0;
};

// The system's store over the given location (by default the application's own).
std::unique_ptr<SettingsStore> OpenSettingsStore(const SettingsLocation& location = {});

// Removes the whole store at the location (the root key with everything in it, or the file).
// True when nothing is left afterwards.
bool DeleteSettingsStore(const SettingsLocation& location);

}  // namespace platform
