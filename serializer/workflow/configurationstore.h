// Eemint's stored configurations: every saved ProductConfiguration as one subkey of the
// settings store named after the product, plus the subkey "Setup" whose value "Current" names
// the current configuration. Nothing is cached: every call reads the store afresh.
//
// Texts here are single-byte Latin-1, as in ProductConfiguration (names included); the store
// holds them as Unicode, so every character round-trips. Use from one thread at a time.
#pragma once

#include "productconfiguration.h"
#include "settingsstore.h"

#include <memory>
#include <string>
#include <vector>

namespace eemint {

// Milliamps from a maximum-power text: leading blanks skipped, an optional sign, then the
// decimal digits up to the first non-digit (0 when there are none); 500 or more gives 500.
int MaxPowerFromText(const std::string& text);

class ConfigurationStore {
public:
    explicit ConfigurationStore(std::unique_ptr<platform::SettingsStore> store = platform::OpenSettingsStore());

    // The subkey name of a configuration: the description when it starts with the
    // manufacturer (letter case ignored), else manufacturer, blank, description; then
    // " (VID=xxxx PID=yyyy)". Trailing blanks are removed first; each "\" becomes "/" so the
    // name stays one key.
    static std::string ConfigurationName(const ProductConfiguration& config);

    // Writes the configuration into its subkey and makes it the current one. A "SerialNumber"
    // left by an earlier save is removed when the fixed serial number is off. Returns the
    // name, or an empty text when the store could not be written (see LastError).
    std::string Save(const ProductConfiguration& config);

    // Loads the named configuration (the current one when the name is empty) into `config`.
    // False, with `config` untouched, when there is no such name or its "Manufacturer" is
    // missing or empty. Missing values, and booleans that are not integers, take their
    // defaults. Texts come back as stored, trailing blanks removed only where they were on
    // saving, cut to their field widths; the window pads them to its masks.
    bool Restore(const std::string& name, ProductConfiguration& config);

    // The stored configuration names in the store's order, without the first subkey named
    // exactly "Setup".
    std::vector<std::string> Names();

    // "Current" of "Setup", empty when there is none.
    std::string Current();
    // Points "Current" at the name; false when the store could not be written.
    bool SetCurrent(const std::string& name);

    // The store's description of the last failure.
    std::string LastError() const { return store_->LastError(); }

private:
    std::unique_ptr<platform::SettingsStore> store_;
};

}  // namespace eemint
