// mvbench: the command-line tool that shows and changes the simulated bench (converters,
// timing, rig, modem and faults). A command that fails says why on stderr, exits non-zero
// and changes nothing.
#include "benchcontrol.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace mvbench;

namespace {

const char* const kUsage =
    "usage: mvbench COMMAND [ARGUMENTS]\n"
    "\n"
    "Converters:\n"
    "  list                      the converters: index, plugged, identity from the EEPROM\n"
    "  plug [IMAGE_FILE]         plug a new erased converter, or one holding a 128-byte image\n"
    "  unplug N                  unplug converter N (the ones after it move down)\n"
    "  dump N                    converter N's EEPROM in hex, 16 bytes a line\n"
    "  reset                     back to the default bench (two erased converters, rig)\n"
    "Timing:\n"
    "  timing fast|real          no delays, or the latency and line time of real hardware\n"
    "  latency MS                latency of each driver request in real mode (0 to 1000 ms)\n"
    "Faults:\n"
    "  unplug-after N COUNT      converter N disappears after COUNT more driver calls\n"
    "  opens-fail on|off         every open of a converter or a port fails\n"
    "  stuck-bit N WORD BIT 0|1  a bit of converter N's EEPROM reads back stuck\n"
    "  clear-stuck N             converter N's stuck bits are freed\n"
    "Serial side of converter 0:\n"
    "  attach rig|modem|nothing  what is connected to it\n"
    "  cut WIRE, restore WIRE    a single wire of the rig: com2-rts-cts, com2-dtr-dsr,\n"
    "                            com1-dtr-dcd, com1-rts-ri, com2-tx (COM2 TX to converter\n"
    "                            RX), com2-rx (converter TX to COM2 RX)\n"
    "  modem-error on|off        the modem answers ERROR instead of OK\n"
    "  modem-lines stuck|free    the modem's CTS, DSR and DCD never move\n"
    "Other:\n"
    "  status                    the bench folder and its settings\n"
    "  help                      this text\n"
    "\n"
    "The bench folder is $MVBENCH_DIR, else mvbench under $XDG_STATE_HOME (~/.local/state),\n"
    "or on Windows under %LOCALAPPDATA%.\n";

class UsageError {
public:
    explicit UsageError(std::string text) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// Decimal digits with an optional minus sign and nothing else: no blanks, no plus sign.
bool IsDecimal(const std::string& text)
{
    const size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > first &&
           text.find_first_not_of("0123456789", first) == std::string::npos;
}

int ParseNumber(const std::string& text, long lo, long hi, const std::string& what)
{
    char* end = nullptr;
    errno = 0;
    const bool decimal = IsDecimal(text);
    const long v = decimal ? std::strtol(text.c_str(), &end, 10) : 0;
    if (!decimal || errno != 0 || *end != '\0' || v < lo || v > hi)
        throw UsageError(what + " must be a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                         ", not '" + text + "'");
    return static_cast<int>(v);
}

bool ParseSwitch(const std::string& text, const char* on, const char* off, const std::string& command)
{
    if (text == on)
        return true;
    if (text == off)
        return false;
    throw UsageError(command + " takes " + on + " or " + off + ", not '" + text + "'");
}

void Expect(const std::vector<std::string>& args, size_t count, const std::string& form)
{
    if (args.size() != count + 1)
        throw UsageError("usage: mvbench " + form);
}

// Makes a failed control call the command's failure.
void Check(bool ok)
{
    if (!ok)
        throw std::runtime_error(LastError());
}

std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        }
    }
    return out;
}

const char* AttachmentText(Attachment a)
{
    return a == Attachment::Rig ? "rig" : a == Attachment::Modem ? "modem" : "nothing";
}

int List()
{
    if (!Snapshot())
        throw std::runtime_error(LastError());
    const std::vector<ConverterInfo> all = ListAll();
    std::printf("%-5s %-9s %s\n", "INDEX", "PLUGGED", "IDENTITY");
    for (const ConverterInfo& c : all) {
        const std::string index = c.index >= 0 ? std::to_string(c.index) : "-";
        std::string identity;
        if (c.erased) {
            identity = "erased";
        } else {
            char ids[64];
            std::snprintf(ids, sizeof ids, "VID %04X  PID %04X  ", c.vendorId, c.productId);
            identity = ids;
            identity += "manufacturer \"" + Printable(c.manufacturer) + "\"  description \"" +
                        Printable(c.description) + "\"  serial \"" + Printable(c.serialNumber) + "\"";
        }
        if (c.stuckBits > 0)
            identity += "  [" + std::to_string(c.stuckBits) + " stuck bit(s)]";
        if (c.unplugAfter > 0)
            identity += "  [unplugs after " + std::to_string(c.unplugAfter) + " request(s)]";
        std::printf("%-5s %-9s %s\n", index.c_str(), c.plugged ? "yes" : "no", identity.c_str());
    }
    return 0;
}

int Status()
{
    const std::optional<State> s = Snapshot();
    if (!s)
        throw std::runtime_error(LastError());
    const std::u8string dir = BenchDir().u8string();
    std::printf("bench folder: %s\n", reinterpret_cast<const char*>(dir.c_str()));
    std::printf("converters plugged: %d\n", s->PluggedCount());
    std::printf("timing: %s, latency %d us\n", s->timing == Timing::Fast ? "fast" : "real", s->latencyUs);
    std::printf("opens fail: %s\n", s->opensFail ? "on" : "off");
    std::printf("attached: %s\n", AttachmentText(s->attachment));
    std::string cut;
    for (int i = 0; i < kWireCount; ++i)
        if (s->cut[i])
            cut += std::string(cut.empty() ? "" : ", ") + WireName(static_cast<Wire>(i));
    std::printf("cut wires: %s\n", cut.empty() ? "none" : cut.c_str());
    std::printf("modem reply: %s, modem lines: %s\n", s->modemError ? "ERROR" : "OK",
                s->modemLinesStuck ? "stuck" : "free");
    return 0;
}

int Dump(int index)
{
    const std::optional<std::array<uint8_t, 128>> image = mvbench::Dump(index);
    if (!image)
        throw std::runtime_error(LastError());
    for (int line = 0; line < 128; line += 16) {
        std::printf("%04X:", line);
        for (int i = 0; i < 16; ++i)
            std::printf(" %02X", (*image)[line + i]);
        std::printf("\n");
    }
    return 0;
}

int PlugFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open image file " + path);
    // One byte more than an image tells a longer file apart without reading all of it.
    std::vector<char> bytes(129);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        throw std::runtime_error("cannot read image file " + path);
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() != 128)
        throw std::runtime_error("image file " + path + " is not an EEPROM image (exactly 128 bytes)");
    std::array<uint8_t, 128> image{};
    for (size_t i = 0; i < 128; ++i)
        image[i] = static_cast<uint8_t>(bytes[i]);
    const int index = PlugImage(image);
    Check(index >= 0);
    std::printf("plugged converter %d\n", index);
    return 0;
}

Wire ParseWire(const std::string& name)
{
    const std::optional<Wire> wire = WireFromName(name);
    if (!wire)
        throw UsageError("unknown wire '" + name +
                         "' (com2-rts-cts, com2-dtr-dsr, com1-dtr-dcd, com1-rts-ri, com2-tx, com2-rx)");
    return *wire;
}

int Run(const std::vector<std::string>& a)
{
    const std::string& cmd = a[0];
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        Expect(a, 0, "help");
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cmd == "list") {
        Expect(a, 0, "list");
        return List();
    }
    if (cmd == "status") {
        Expect(a, 0, "status");
        return Status();
    }
    if (cmd == "plug") {
        if (a.size() > 2)
            throw UsageError("usage: mvbench plug [IMAGE_FILE]");
        if (a.size() == 2)
            return PlugFile(a[1]);
        const int index = Plug();
        Check(index >= 0);
        std::printf("plugged converter %d\n", index);
        return 0;
    }
    if (cmd == "unplug") {
        Expect(a, 1, "unplug N");
        Check(Unplug(ParseNumber(a[1], 0, kMaxConverters - 1, "N")));
        return 0;
    }
    if (cmd == "dump") {
        Expect(a, 1, "dump N");
        return Dump(ParseNumber(a[1], 0, kMaxConverters - 1, "N"));
    }
    if (cmd == "reset") {
        Expect(a, 0, "reset");
        Check(Reset());
        return 0;
    }
    if (cmd == "timing") {
        Expect(a, 1, "timing fast|real");
        Check(SetTiming(ParseSwitch(a[1], "fast", "real", "timing") ? Timing::Fast : Timing::Real));
        return 0;
    }
    if (cmd == "latency") {
        Expect(a, 1, "latency MS");
        Check(SetLatencyMicroseconds(ParseNumber(a[1], 0, kMaxLatencyUs / 1000, "MS") * 1000));
        return 0;
    }
    if (cmd == "unplug-after") {
        Expect(a, 2, "unplug-after N COUNT");
        const int index = ParseNumber(a[1], 0, kMaxConverters - 1, "N");
        Check(UnplugAfterRequests(index, ParseNumber(a[2], 0, 1000000000, "COUNT")));
        return 0;
    }
    if (cmd == "opens-fail") {
        Expect(a, 1, "opens-fail on|off");
        Check(SetOpensFail(ParseSwitch(a[1], "on", "off", "opens-fail")));
        return 0;
    }
    if (cmd == "stuck-bit") {
        Expect(a, 4, "stuck-bit N WORD BIT 0|1");
        const int index = ParseNumber(a[1], 0, kMaxConverters - 1, "N");
        const int word = ParseNumber(a[2], 0, 63, "WORD");
        const int bit = ParseNumber(a[3], 0, 15, "BIT");
        const bool value = ParseSwitch(a[4], "1", "0", "stuck-bit");
        Check(SetStuckBit(index, word, bit, value));
        return 0;
    }
    if (cmd == "clear-stuck") {
        Expect(a, 1, "clear-stuck N");
        Check(ClearStuckBits(ParseNumber(a[1], 0, kMaxConverters - 1, "N")));
        return 0;
    }
    if (cmd == "attach") {
        Expect(a, 1, "attach rig|modem|nothing");
        if (a[1] == "rig")
            Check(Attach(Attachment::Rig));
        else if (a[1] == "modem")
            Check(Attach(Attachment::Modem));
        else if (a[1] == "nothing")
            Check(Attach(Attachment::Nothing));
        else
            throw UsageError("attach takes rig, modem or nothing, not '" + a[1] + "'");
        return 0;
    }
    if (cmd == "cut" || cmd == "restore") {
        Expect(a, 1, cmd + " WIRE");
        const Wire wire = ParseWire(a[1]);
        Check(cmd == "cut" ? CutWire(wire) : RestoreWire(wire));
        return 0;
    }
    if (cmd == "modem-error") {
        Expect(a, 1, "modem-error on|off");
        Check(SetModemErrorReply(ParseSwitch(a[1], "on", "off", "modem-error")));
        return 0;
    }
    if (cmd == "modem-lines") {
        Expect(a, 1, "modem-lines stuck|free");
        Check(SetModemLinesStuck(ParseSwitch(a[1], "stuck", "free", "modem-lines")));
        return 0;
    }
    throw UsageError("unknown command '" + cmd + "'; 'mvbench help' lists the commands");
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        const int rc = Run(args);
        std::fflush(stdout);
        return rc;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "mvbench: %s\n", e.Text().c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mvbench: %s\n", e.what());
        return 1;
    }
}
