// The simulated bench's shared state: its converters with their EEPROMs and faults, the
// timing mode and what is attached to converter 0's serial side. It lives in one file in the
// bench folder, read and replaced under a file lock, so Eemint and the mvbench tool can work
// on the same bench at once. Thread-safe: every call opens its own lock.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mvbench {

enum class Timing { Fast, Real };
enum class Attachment { Rig, Modem, Nothing };

// The single wires of the loopback rig between the PC's COM1/COM2 and converter 0.
enum class Wire {
    Com2RtsToCts,  // COM2 RTS -> converter CTS
    Com2DtrToDsr,  // COM2 DTR -> converter DSR
    Com1DtrToDcd,  // COM1 DTR -> converter DCD
    Com1RtsToRi,   // COM1 RTS -> converter RI
    Com2TxToRx,    // COM2 transmit data -> converter receive data
    TxToCom2Rx,    // converter transmit data -> COM2 receive data
};
constexpr int kWireCount = 6;

// Command-line names of the wires ("com2-rts-cts", ...), and back.
const char* WireName(Wire wire);
std::optional<Wire> WireFromName(const std::string& name);

constexpr int kEepromBytes = 128;
using Eeprom = std::array<uint8_t, kEepromBytes>;

struct StuckBit {
    int word = 0;  // 0..63
    int bit = 0;   // 0..15
    bool value = false;
};

struct Converter {
    uint64_t id = 0;  // unique for the life of the bench folder; handles refer to it
    bool plugged = true;
    Eeprom eeprom{};  // the cells as stored (stuck bits not applied)
    int unplugAfter = -1;  // driver calls still to be served before it disappears; -1: never
    std::vector<StuckBit> stuck;

    // A word as the converter reads it back: the stored cell with stuck bits applied.
    uint16_t ReadWord(int word) const;
    // The whole EEPROM as it reads back.
    Eeprom ReadBack() const;
};

struct State {
    Timing timing = Timing::Real;
    int latencyUs = 1000;  // per driver request in real mode
    bool opensFail = false;
    Attachment attachment = Attachment::Rig;
    std::array<bool, kWireCount> cut{};
    bool modemError = false;
    bool modemLinesStuck = false;
    // Plugged and unplugged converters in plugging order; the i-th plugged one has index i.
    std::vector<Converter> converters;

    Converter* Plugged(int index);
    const Converter* Plugged(int index) const;
    Converter* ById(uint64_t id);
    // Index of a plugged converter, or -1.
    int IndexOf(uint64_t id) const;
    int PluggedCount() const;
    bool IsCut(Wire wire) const { return cut[static_cast<int>(wire)]; }
};

constexpr int kMaxConverters = 64;  // plugged and kept-unplugged converters together
constexpr int kMaxLatencyUs = 1000000;

State DefaultState();
// A new erased converter with a fresh id.
Converter NewConverter();

std::string Serialize(const State& state);
// Parses a state file's text; false with a reason when it is not a well-formed bench state.
bool Parse(const std::string& text, State& state, std::string& error);

// The bench folder: $MVBENCH_DIR, else mvbench under $XDG_STATE_HOME (~/.local/state).
// Read at every call.
std::filesystem::path BenchDir();

// Runs `change` on the bench state under the folder's lock. An empty folder gets the default
// bench first. When `change` returns true and sets `modified`, the state is saved by atomic
// replace before the lock is released. False with `error` set when the folder or the state
// file cannot be used (a corrupt or foreign state file is reported, not repaired) or when
// `change` returns false (it sets `error` itself).
using Change = std::function<bool(State& state, bool& modified, std::string& error)>;
bool Transact(const Change& change, std::string& error);

// Replaces whatever the folder holds (even a corrupt file) with `state`.
bool Overwrite(const State& state, std::string& error);

}  // namespace mvbench
