#include "benchcontrol.h"

#include <algorithm>

namespace mvbench {

namespace {

thread_local std::string lastError;

bool Run(const Change& change)
{
    std::string error;
    if (Transact(change, error))
        return true;
    lastError = error;
    return false;
}

bool Fail(std::string& error, const std::string& why)
{
    error = why;
    return false;
}

std::string NoConverter(int index)
{
    return "no converter at index " + std::to_string(index);
}

// Adds a converter, dropping the oldest kept-unplugged one when the bench is full.
int AddConverter(State& s, const Converter& c, std::string& error)
{
    if (static_cast<int>(s.converters.size()) >= kMaxConverters) {
        auto gone = std::find_if(s.converters.begin(), s.converters.end(),
                                 [](const Converter& x) { return !x.plugged; });
        if (gone == s.converters.end()) {
            error = "the bench is full (" + std::to_string(kMaxConverters) + " converters)";
            return -1;
        }
        s.converters.erase(gone);
    }
    s.converters.push_back(c);
    return s.PluggedCount() - 1;
}

int PlugConverter(const Converter& c)
{
    int index = -1;
    bool ok = Run([&](State& s, bool& modified, std::string& error) {
        index = AddConverter(s, c, error);
        modified = index >= 0;
        return index >= 0;
    });
    return ok ? index : -1;
}

// Runs `f` on the plugged converter at `index`, saving the state afterwards.
bool WithConverter(int index, const std::function<bool(Converter&, std::string&)>& f)
{
    return Run([&](State& s, bool& modified, std::string& error) {
        Converter* c = s.Plugged(index);
        if (!c)
            return Fail(error, NoConverter(index));
        modified = f(*c, error);
        return modified;
    });
}

bool SetField(const std::function<void(State&)>& f)
{
    return Run([&](State& s, bool& modified, std::string&) {
        f(s);
        modified = true;
        return true;
    });
}

std::string DecodeText(const std::array<uint8_t, 128>& image, int offsetByte)
{
    const uint8_t rawOffset = image[offsetByte];
    const uint8_t length = image[offsetByte + 1];
    if (!(rawOffset & 0x80) || length < 2)
        return std::string();
    const int offset = rawOffset & 0x7F;
    const int characters = (length - 2) / 2;
    std::string text;
    for (int k = 0; k < characters; ++k) {
        const int at = offset + 2 + 2 * k;
        if (at + 1 >= 128)
            break;
        text.push_back(static_cast<char>(image[at]));
    }
    return text;
}

ConverterInfo Info(const Converter& c, int index)
{
    ConverterInfo info = Decode(c.ReadBack());
    info.index = index;
    info.plugged = c.plugged;
    info.unplugAfter = c.unplugAfter;
    info.stuckBits = static_cast<int>(c.stuck.size());
    return info;
}

}  // namespace

ConverterInfo Decode(const std::array<uint8_t, 128>& image)
{
    ConverterInfo info;
    info.erased = std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0xFF; });
    info.vendorId = static_cast<uint16_t>(image[2] | (image[3] << 8));
    info.productId = static_cast<uint16_t>(image[4] | (image[5] << 8));
    if (!info.erased) {
        info.manufacturer = DecodeText(image, 14);
        info.description = DecodeText(image, 16);
        info.serialNumber = DecodeText(image, 18);
    }
    return info;
}

bool Reset()
{
    std::string error;
    if (Overwrite(DefaultState(), error))
        return true;
    lastError = error;
    return false;
}

int Plug() { return PlugConverter(NewConverter()); }

int PlugImage(const std::array<uint8_t, 128>& image)
{
    Converter c = NewConverter();
    c.eeprom = image;
    return PlugConverter(c);
}

bool Unplug(int index)
{
    return WithConverter(index, [](Converter& c, std::string&) {
        c.plugged = false;
        c.unplugAfter = -1;
        return true;
    });
}

std::optional<std::array<uint8_t, 128>> Dump(int index)
{
    std::optional<std::array<uint8_t, 128>> out;
    Run([&](State& s, bool&, std::string& error) {
        const Converter* c = s.Plugged(index);
        if (!c)
            return Fail(error, NoConverter(index));
        out = c->ReadBack();
        return true;
    });
    return out;
}

namespace {
// The plugged converters with their dense indices, then, when asked, the unplugged ones
// (index -1), all from one reading of the state.
std::vector<ConverterInfo> Converters(bool withUnplugged)
{
    std::vector<ConverterInfo> out;
    Run([&](State& s, bool&, std::string&) {
        int index = 0;
        for (const Converter& c : s.converters)
            if (c.plugged)
                out.push_back(Info(c, index++));
        if (withUnplugged)
            for (const Converter& c : s.converters)
                if (!c.plugged)
                    out.push_back(Info(c, -1));
        return true;
    });
    return out;
}
}  // namespace

std::vector<ConverterInfo> List()
{
    return Converters(false);
}

std::vector<ConverterInfo> ListAll()
{
    return Converters(true);
}

std::optional<State> Snapshot()
{
    std::optional<State> out;
    Run([&](State& s, bool&, std::string&) {
        out = s;
        return true;
    });
    return out;
}

bool SetTiming(Timing timing)
{
    if (timing != Timing::Fast && timing != Timing::Real) {
        lastError = "no such timing mode";
        return false;
    }
    return SetField([&](State& s) { s.timing = timing; });
}

bool SetLatencyMicroseconds(int microseconds)
{
    if (microseconds < 0 || microseconds > kMaxLatencyUs) {
        lastError = "latency out of range (0 to " + std::to_string(kMaxLatencyUs) + " microseconds)";
        return false;
    }
    return SetField([&](State& s) { s.latencyUs = microseconds; });
}

bool UnplugAfterRequests(int index, int requests)
{
    if (requests < -1) {
        lastError = "request count out of range";
        return false;
    }
    return WithConverter(index, [&](Converter& c, std::string&) {
        if (requests == 0) {
            c.plugged = false;
            c.unplugAfter = -1;
        } else {
            c.unplugAfter = requests;
        }
        return true;
    });
}

bool SetOpensFail(bool fail)
{
    return SetField([&](State& s) { s.opensFail = fail; });
}

bool SetStuckBit(int index, int word, int bit, bool value)
{
    if (word < 0 || word > 63 || bit < 0 || bit > 15) {
        lastError = "word must be 0 to 63 and bit 0 to 15";
        return false;
    }
    return WithConverter(index, [&](Converter& c, std::string&) {
        c.stuck.erase(std::remove_if(c.stuck.begin(), c.stuck.end(),
                                     [&](const StuckBit& s) { return s.word == word && s.bit == bit; }),
                      c.stuck.end());
        c.stuck.push_back({word, bit, value});
        return true;
    });
}

bool ClearStuckBits(int index)
{
    return WithConverter(index, [](Converter& c, std::string&) {
        c.stuck.clear();
        return true;
    });
}

bool Attach(Attachment attachment)
{
    if (attachment != Attachment::Rig && attachment != Attachment::Modem && attachment != Attachment::Nothing) {
        lastError = "no such attachment";
        return false;
    }
    return SetField([&](State& s) { s.attachment = attachment; });
}

static bool ValidWire(Wire wire)
{
    const int i = static_cast<int>(wire);
    if (i >= 0 && i < kWireCount)
        return true;
    lastError = "no such wire";
    return false;
}

bool CutWire(Wire wire)
{
    if (!ValidWire(wire))
        return false;
    return SetField([&](State& s) { s.cut[static_cast<int>(wire)] = true; });
}

bool RestoreWire(Wire wire)
{
    if (!ValidWire(wire))
        return false;
    return SetField([&](State& s) { s.cut[static_cast<int>(wire)] = false; });
}

bool SetModemErrorReply(bool on)
{
    return SetField([&](State& s) { s.modemError = on; });
}

bool SetModemLinesStuck(bool stuck)
{
    return SetField([&](State& s) { s.modemLinesStuck = stuck; });
}

std::string LastError() { return lastError; }

}  // namespace mvbench
