#include "devicedefaults.h"

#include <cstring>

namespace eemint {
namespace {

template <std::size_t N>
void CopyText(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

}  // namespace

TDeviceDefaults::TDeviceDefaults() {
    SetIndex(0);
    if (!Open()) return;
    defaults_.vendorId = 0x3A7E;
    defaults_.productId = 0x5C01;
    CopyText(defaults_.manufacturer, "MAVIX");
    CopyText(defaults_.description, "USB HS Serial Converter");
    CopyText(defaults_.serialNumber, "MV005C01");
    Close();
}

}  // namespace eemint
