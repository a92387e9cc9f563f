#include "devicetests.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "devicedefaults.h"
#include "eepromimage.h"
#include "loopbacktester.h"
#include "modemport.h"

namespace tp = platform::testerport;

namespace eemint {

namespace {

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string text;
    if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
    } else if (length >= 0) {
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, args);
        text.assign(large.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

// Failure counting of one run: a step that fails counts once; a group's line says PASS only
// when none of its own steps failed, whatever earlier groups did.
class Verdict {
public:
    explicit Verdict(Reporter& reporter) : reporter_(reporter) {}

    void Step(bool passed)
    {
        if (!passed)
            ++failures_;
    }

    void EndGroup(const char* label)
    {
        reporter_.Log(Format("%-32.32s", label) + (failures_ == groupStart_ ? "PASS" : "FAIL"));
        groupStart_ = failures_;
    }

    void Finish()
    {
        reporter_.Log("");
        reporter_.Log(Format("DEVICE %s", failures_ == 0 ? "PASSED" : "FAILED"));
        reporter_.Log("");
    }

private:
    Reporter& reporter_;
    int failures_ = 0;
    int groupStart_ = 0;
};

// One data group of the loopback rig: set-up, then both transfers; the first part that
// fails ends the step.
bool DataStep(TLoopbackTester& tester, uint32_t baud, uint32_t length)
{
    std::vector<uint8_t> pattern(length), received(length);
    return tester.SetUpLine(baud) && tester.SendToConverter(pattern.data(), received.data(), length) &&
           tester.SendFromConverter(pattern.data(), received.data(), length);
}

}  // namespace

bool PrintDeviceIdentity(Reporter& reporter)
{
    TEepromImage image;
    image.SetIndex(0);
    if (!image.ReadAndParse()) {
        reporter.ShowError("Failed to open device for read");
        return false;
    }
    const uint16_t vendor = image.GetVendorId();
    if (vendor == 0xFFFF) {
        reporter.Log("EEROM erased - no device data available");
    } else if (vendor == 0) {
        // No identity stored: the converter presents its built-in one.
        TDeviceDefaults defaults;
        reporter.Log(Format("VendorID:     %04.4X", unsigned{defaults.GetVendorId()}));
        reporter.Log(Format("ProductID:    %04.4X", unsigned{defaults.GetProductId()}));
        reporter.Log(Format("Manufacturer: %s", defaults.GetManufacturer().c_str()));
        reporter.Log(Format("Description:  %s", defaults.GetDescription().c_str()));
        reporter.Log(Format("SerialNumber: %s", defaults.GetSerialNumber().c_str()));
    } else {
        reporter.Log(Format("Manufacturer: %s", image.GetManufacturer().c_str()));
        reporter.Log(Format("DeviceID:     VID_%04.4X&PID_%04.4X", unsigned{image.GetVendorId()},
                            unsigned{image.GetProductId()}));
        reporter.Log(Format("Description:  %s", image.GetDescription().c_str()));
        reporter.Log(Format("SerialNumber: %s", image.GetSerialNumber().c_str()));
    }
    reporter.Log("");
    // The tests that follow take seconds: show the identity first.
    reporter.Repaint();
    return true;
}

void RunLoopbackTest(Reporter& reporter)
{
    if (!PrintDeviceIdentity(reporter))
        return;

    TLoopbackTester tester;
    if (!tester.Ready()) {
        reporter.Log("Failed to initialise tester");
        return;
    }
    tester.DropAllLines();

    Verdict verdict(reporter);
    struct LineGroup {
        const char* label;
        void (TLoopbackTester::*drive)(bool);
        uint32_t bit;
    };
    static const LineGroup lineGroups[] = {
        {"CTS Test", &TLoopbackTester::SetCom2Rts, tp::ms::CtsOn},
        {"DSR Test", &TLoopbackTester::SetCom2Dtr, tp::ms::DsrOn},
        {"CD Test", &TLoopbackTester::SetCom1Dtr, tp::ms::RlsdOn},
        {"RI Test", &TLoopbackTester::SetCom1Rts, tp::ms::RingOn},
    };
    for (const LineGroup& group : lineGroups) {
        (tester.*group.drive)(true);
        verdict.Step((tester.ConverterStatus() & group.bit) != 0);
        (tester.*group.drive)(false);
        verdict.Step((tester.ConverterStatus() & group.bit) == 0);
        verdict.EndGroup(group.label);
    }

    verdict.Step(DataStep(tester, 300, 16));
    verdict.EndGroup("Rx/Tx at 300 Baud");
    verdict.Step(DataStep(tester, 115200, 256));
    verdict.EndGroup("Rx/Tx at 115200 Baud");

    verdict.Finish();
}

void RunModemTest(Reporter& reporter)
{
    if (!PrintDeviceIdentity(reporter))
        return;

    TModemPort modem;
    if (!modem.IsOpen()) {
        reporter.Log("Failed to initialise tester");
        return;
    }
    modem.SetLine(1200);
    modem.ResetModem();

    Verdict verdict(reporter);

    modem.ResetModem();
    modem.SendCommand("AT&R1\r");
    verdict.Step((modem.ModemStatus() & tp::ms::CtsOn) != 0);
    modem.SetDtr(false);
    modem.SetRts(false);
    modem.SendCommand("AT&R0\r");
    verdict.Step((modem.ModemStatus() & tp::ms::CtsOn) == 0);
    verdict.EndGroup("CTS Test");

    modem.ResetModem();
    modem.SendCommand("AT&S0\r");
    verdict.Step((modem.ModemStatus() & tp::ms::DsrOn) != 0);
    modem.SendCommand("AT&S1\r");
    verdict.Step((modem.ModemStatus() & tp::ms::DsrOn) == 0);
    verdict.EndGroup("DSR Test");

    modem.ResetModem();
    modem.SendCommand("AT&C0\r");
    verdict.Step((modem.ModemStatus() & tp::ms::RlsdOn) != 0);
    modem.SendCommand("AT&C1\r");
    verdict.Step((modem.ModemStatus() & tp::ms::RlsdOn) == 0);
    verdict.EndGroup("CD Test");

    modem.SetLine(300);
    verdict.Step(modem.ResetModem());
    verdict.EndGroup("Rx/Tx at 300 Baud");
    modem.SetLine(115200);
    verdict.Step(modem.ResetModem());
    verdict.EndGroup("Rx/Tx at 115200 Baud");

    verdict.Finish();
}

}  // namespace eemint
