// The identity an unconfigured converter presents: filled when converter 0 opens, all zero
// and empty texts when none is attached.
#pragma once

#include <cstdint>
#include <string>

#include "usbdevice.h"

namespace eemint {

struct DeviceDefaults {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    char serialNumber[18] = {};
    char manufacturer[64] = {};
    char description[64] = {};
};

class TDeviceDefaults : public TUsbDevice {
public:
    TDeviceDefaults();

    uint16_t GetVendorId() const { return defaults_.vendorId; }
    uint16_t GetProductId() const { return defaults_.productId; }
    std::string GetManufacturer() const { return defaults_.manufacturer; }
    std::string GetDescription() const { return defaults_.description; }
    std::string GetSerialNumber() const { return defaults_.serialNumber; }

private:
    DeviceDefaults defaults_{};
};

}  // namespace eemint
