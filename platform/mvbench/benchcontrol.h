// Control of the simulated bench, for the mvbench tool and for tests: plug and unplug
// converters, look at their EEPROMs, switch timing, attach the rig or the modem, cut wires
// and inject faults. Every call locks the bench folder, loads the state, changes it and
// saves it by atomic replace; a call that fails returns false (or -1 / nothing), changes
// nothing, and leaves the reason in LastError(). Thread-safe.
#pragma once

#include "benchstate.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mvbench {

// One converter as the bench tool shows it, decoded from what its EEPROM reads back.
struct ConverterInfo {
    int index = -1;  // dense index among the plugged converters; -1 when unplugged
    bool plugged = false;
    bool erased = true;  // every byte reads 0xFF
    uint16_t vendorId = 0xFFFF;
    uint16_t productId = 0xFFFF;
    std::string manufacturer;
    std::string description;
    std::string serialNumber;
    int unplugAfter = -1;
    int stuckBits = 0;
};

// The bench folder in use now ($MVBENCH_DIR, else mvbench under the XDG state directory).
std::filesystem::path BenchDir();

// Back to the default bench: two erased converters plugged, rig attached with every wire,
// real timing, 1 ms latency, no faults. Also replaces a corrupt state file.
bool Reset();
// A new erased converter; returns its index, or -1 when the bench is full or unusable.
int Plug();
// A new converter holding the image; returns its index or -1.
int PlugImage(const std::array<uint8_t, 128>& image);
// Unplugs the converter at a dense index; the ones after it move down by one.
bool Unplug(int index);
// What the converter's EEPROM reads back (stuck bits applied).
std::optional<std::array<uint8_t, 128>> Dump(int index);
// The plugged converters, index order.
std::vector<ConverterInfo> List();
// Plugged converters first (index order), then the unplugged ones the bench still keeps.
std::vector<ConverterInfo> ListAll();
// The whole state, for the tool's status line.
std::optional<State> Snapshot();

bool SetTiming(Timing timing);
// Latency of every driver request in real mode, 0 to 1 000 000 microseconds.
bool SetLatencyMicroseconds(int microseconds);

// Faults.
// The converter at `index` disappears after `requests` more driver calls reach it (MV_Open
// and MV_Close included); 0 unplugs it now, -1 cancels a pending unplug.
bool UnplugAfterRequests(int index, int requests);
// Every MV_Open and every port open fails while this is on.
bool SetOpensFail(bool fail);
// Bit `bit` (0..15) of word `word` (0..63) reads back as `value` whatever is written.
bool SetStuckBit(int index, int word, int bit, bool value);
bool ClearStuckBits(int index);

// What converter 0's serial side is connected to.
bool Attach(Attachment attachment);
bool CutWire(Wire wire);
bool RestoreWire(Wire wire);
// The modem answers "\r\nERROR\r\n" instead of "\r\nOK\r\n" (it still obeys the commands).
bool SetModemErrorReply(bool on);
// The modem's CTS, DSR and DCD stay clear whatever it is told.
bool SetModemLinesStuck(bool stuck);

// The reason the last failed call of this thread failed.
std::string LastError();

// The identity fields decoded defensively from an EEPROM image (used by List and the tool).
ConverterInfo Decode(const std::array<uint8_t, 128>& image);

}  // namespace mvbench
