#include "benchstate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>

#include "benchplatform.h"
#include "fileutil.h"

namespace mvbench {

namespace {

namespace fu = platform::fileutil;

constexpr const char* kHeader = "mvbench-state 1";
constexpr size_t kMaxStateBytes = 1 << 20;

const char* const kWireNames[kWireCount] = {
    "com2-rts-cts", "com2-dtr-dsr", "com1-dtr-dcd", "com1-rts-ri", "com2-tx", "com2-rx",
};

const char* AttachmentName(Attachment a)
{
    switch (a) {
    case Attachment::Rig: return "rig";
    case Attachment::Modem: return "modem";
    case Attachment::Nothing: return "nothing";
    }
    return "nothing";
}

bool PrepareFolder(std::filesystem::path& dir, std::string& error)
{
    dir = BenchDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create the bench folder " + fu::PathText(dir) + ": " + ec.message();
        return false;
    }
    return true;
}

// Reads the state file: 1 = read, 0 = there is none, -1 = error.
int ReadStateFile(const std::filesystem::path& path, std::string& text, std::string& error)
{
    using fu::ReadResult;
    fu::FileError failure;
    switch (fu::ReadSmallFile(fu::PathText(path), kMaxStateBytes, text, failure)) {
    case ReadResult::Read:
        return 1;
    case ReadResult::Missing:
        return 0;
    case ReadResult::NotRegular:
    case ReadResult::TooLarge:
        error = "the bench state file " + fu::PathText(path) + " is not a bench state (not a small regular file)";
        return -1;
    case ReadResult::Failed:
        break;
    }
    error = "cannot read the bench state: " + failure.Text();
    return -1;
}

// Replaces the state file whole. It is not flushed to disk: the bench's state is a stand-in
// for hardware, and a flush would slow every change of it.
bool WriteStateFile(const std::filesystem::path& dir, const State& state, std::string& error)
{
    fu::ReplaceOptions options;
    options.mode = 0644;
    fu::FileError failure;
    if (fu::ReplaceFile(fu::PathText(dir / "state"), Serialize(state), options, failure))
        return true;
    error = "cannot save the bench state: " + failure.Text();
    return false;
}

// A change that keeps the file's length (an EEPROM word, a count of the same width) only
// rewrites the bytes that differ, in place: the folder lock keeps readers out meanwhile, and
// every value in the file has a fixed width, so the text stays well-formed whatever part of
// the write lands. Saves the cost of a new file per EEPROM word. False: replace the file.
bool UpdateInPlace(const std::filesystem::path& path, const std::string& oldText, const std::string& newText)
{
    if (oldText.size() != newText.size())
        return false;
    size_t first = 0;
    while (first < oldText.size() && oldText[first] == newText[first])
        ++first;
    if (first == oldText.size())
        return true;
    size_t last = oldText.size();
    while (last > first && oldText[last - 1] == newText[last - 1])
        --last;
    return fu::UpdateInPlace(fu::PathText(path), oldText.size(), first,
                             std::string_view(newText).substr(first, last - first));
}

bool ParseBool(const std::string& word, bool& value)
{
    if (word == "yes") { value = true; return true; }
    if (word == "no") { value = false; return true; }
    return false;
}

bool ParseInt(const std::string& word, long long lo, long long hi, long long& value)
{
    if (word.empty() || word.size() > 20)
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

}  // namespace

const char* WireName(Wire wire) { return kWireNames[static_cast<int>(wire)]; }

std::optional<Wire> WireFromName(const std::string& name)
{
    for (int i = 0; i < kWireCount; ++i)
        if (name == kWireNames[i])
            return static_cast<Wire>(i);
    return std::nullopt;
}

uint16_t Converter::ReadWord(int word) const
{
    uint16_t w = static_cast<uint16_t>(eeprom[2 * word] | (eeprom[2 * word + 1] << 8));
    for (const StuckBit& s : stuck) {
        if (s.word != word)
            continue;
        if (s.value)
            w = static_cast<uint16_t>(w | (1u << s.bit));
        else
            w = static_cast<uint16_t>(w & ~(1u << s.bit));
    }
    return w;
}

Eeprom Converter::ReadBack() const
{
    Eeprom out{};
    for (int i = 0; i < kEepromBytes / 2; ++i) {
        uint16_t w = ReadWord(i);
        out[2 * i] = static_cast<uint8_t>(w & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(w >> 8);
    }
    return out;
}

Converter* State::Plugged(int index)
{
    return const_cast<Converter*>(static_cast<const State*>(this)->Plugged(index));
}

const Converter* State::Plugged(int index) const
{
    if (index < 0)
        return nullptr;
    int i = 0;
    for (const Converter& c : converters) {
        if (!c.plugged)
            continue;
        if (i == index)
            return &c;
        ++i;
    }
    return nullptr;
}

Converter* State::ById(uint64_t id)
{
    for (Converter& c : converters)
        if (c.id == id)
            return &c;
    return nullptr;
}

int State::IndexOf(uint64_t id) const
{
    int i = 0;
    for (const Converter& c : converters) {
        if (!c.plugged)
            continue;
        if (c.id == id)
            return i;
        ++i;
    }
    return -1;
}

int State::PluggedCount() const
{
    int n = 0;
    for (const Converter& c : converters)
        n += c.plugged ? 1 : 0;
    return n;
}

Converter NewConverter()
{
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}() ^
                                     (static_cast<uint64_t>(ProcessId()) << 32)};
    std::lock_guard<std::mutex> hold(mutex);
    Converter c;
    do {
        c.id = generator() & 0x7FFFFFFFFFFFFFFFull;
    } while (c.id == 0);
    c.eeprom.fill(0xFF);
    return c;
}

State DefaultState()
{
    State s;
    s.converters.push_back(NewConverter());
    s.converters.push_back(NewConverter());
    return s;
}

std::string Serialize(const State& state)
{
    std::ostringstream out;
    out << kHeader << "\n";
    out << "timing " << (state.timing == Timing::Fast ? "fast" : "real") << "\n";
    out << "latency-us " << state.latencyUs << "\n";
    out << "opens-fail " << (state.opensFail ? "yes" : "no") << "\n";
    out << "attach " << AttachmentName(state.attachment) << "\n";
    for (int i = 0; i < kWireCount; ++i)
        if (state.cut[i])
            out << "cut " << kWireNames[i] << "\n";
    out << "modem-error " << (state.modemError ? "yes" : "no") << "\n";
    out << "modem-lines " << (state.modemLinesStuck ? "stuck" : "free") << "\n";
    for (const Converter& c : state.converters) {
        char id[32];
        std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(c.id));
        out << "converter " << id << " " << (c.plugged ? "plugged" : "unplugged") << " "
            << c.unplugAfter << "\n";
        std::string eeprom = "eeprom ";
        for (uint8_t b : c.eeprom)
            fu::AppendHexByte(eeprom, b, fu::HexCase::Lower);
        out << eeprom << "\n";
        for (const StuckBit& s : c.stuck)
            out << "stuck " << s.word << " " << s.bit << " " << (s.value ? 1 : 0) << "\n";
    }
    out << "end\n";
    return out.str();
}

bool Parse(const std::string& text, State& state, std::string& error)
{
    State s;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool ended = false;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (ended)
            return fail("text after the end");
        if (lineNo == 1) {
            if (line != kHeader)
                return fail("not a bench state (unknown header)");
            continue;
        }
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string x; words >> x;)
            w.push_back(x);
        if (w.empty())
            return fail("empty line");
        const std::string& key = w[0];
        bool b = false;
        long long v = 0;
        if (key == "end" && w.size() == 1) {
            ended = true;
        } else if (key == "timing" && w.size() == 2 && (w[1] == "fast" || w[1] == "real")) {
            s.timing = w[1] == "fast" ? Timing::Fast : Timing::Real;
        } else if (key == "latency-us" && w.size() == 2 && ParseInt(w[1], 0, kMaxLatencyUs, v)) {
            s.latencyUs = static_cast<int>(v);
        } else if (key == "opens-fail" && w.size() == 2 && ParseBool(w[1], b)) {
            s.opensFail = b;
        } else if (key == "attach" && w.size() == 2 &&
                   (w[1] == "rig" || w[1] == "modem" || w[1] == "nothing")) {
            s.attachment = w[1] == "rig" ? Attachment::Rig
                           : w[1] == "modem" ? Attachment::Modem : Attachment::Nothing;
        } else if (key == "cut" && w.size() == 2 && WireFromName(w[1])) {
            s.cut[static_cast<int>(*WireFromName(w[1]))] = true;
        } else if (key == "modem-error" && w.size() == 2 && ParseBool(w[1], b)) {
            s.modemError = b;
        } else if (key == "modem-lines" && w.size() == 2 && (w[1] == "stuck" || w[1] == "free")) {
            s.modemLinesStuck = w[1] == "stuck";
        } else if (key == "converter" && w.size() == 4) {
            if (static_cast<int>(s.converters.size()) >= kMaxConverters)
                return fail("too many converters");
            Converter c;
            if (w[1].size() != 16)
                return fail("bad converter id");
            for (char ch : w[1]) {
                int d = fu::HexValue(ch);
                if (d < 0)
                    return fail("bad converter id");
                c.id = (c.id << 4) | static_cast<uint64_t>(d);
            }
            if (c.id == 0 || s.ById(c.id))
                return fail("bad or repeated converter id");
            if (w[2] != "plugged" && w[2] != "unplugged")
                return fail("bad plugged state");
            c.plugged = w[2] == "plugged";
            if (!ParseInt(w[3], -1, 1000000000, v))
                return fail("bad unplug count");
            c.unplugAfter = static_cast<int>(v);
            // The eeprom line must follow.
            ++lineNo;
            std::string ee;
            if (!std::getline(in, ee) || ee.size() != 7 + 2 * kEepromBytes || ee.compare(0, 7, "eeprom ") != 0)
                return fail("missing or malformed eeprom line");
            for (int i = 0; i < kEepromBytes; ++i) {
                const int hi = fu::HexValue(ee[7 + 2 * i]), lo = fu::HexValue(ee[8 + 2 * i]);
                if (hi < 0 || lo < 0)
                    return fail("malformed eeprom line");
                c.eeprom[i] = static_cast<uint8_t>(hi * 16 + lo);
            }
            s.converters.push_back(c);
        } else if (key == "stuck" && w.size() == 4 && !s.converters.empty()) {
            long long word = 0, bit = 0, value = 0;
            if (!ParseInt(w[1], 0, 63, word) || !ParseInt(w[2], 0, 15, bit) || !ParseInt(w[3], 0, 1, value))
                return fail("bad stuck bit");
            auto& stuck = s.converters.back().stuck;
            if (stuck.size() >= 64 * 16)
                return fail("too many stuck bits");
            stuck.push_back({static_cast<int>(word), static_cast<int>(bit), value == 1});
        } else {
            return fail("unknown or malformed entry '" + line.substr(0, 40) + "'");
        }
    }
    if (!ended)
        return fail("truncated (no end line)");
    state = std::move(s);
    return true;
}

// Prepares the bench folder and takes its lock, held while `lock` lives; false with the
// reason when either fails.
bool LockFolder(std::filesystem::path& dir, std::optional<fu::FileLock>& lock,
                std::string& error)
{
    if (!PrepareFolder(dir, error))
        return false;
    lock.emplace(fu::PathText(dir / "lock"), 0644);
    if (!lock->Locked()) {
        error = "cannot lock the bench folder: " + lock->Error().Text();
        lock.reset();
        return false;
    }
    return true;
}

bool Transact(const Change& change, std::string& error)
{
    std::filesystem::path dir;
    std::optional<fu::FileLock> lock;
    if (!LockFolder(dir, lock, error))
        return false;
    const std::filesystem::path path = dir / "state";
    std::string text;
    State state;
    bool modified = false;
    int found = ReadStateFile(path, text, error);
    if (found < 0)
        return false;
    if (found == 0) {
        state = DefaultState();
        modified = true;
    } else if (!Parse(text, state, error)) {
        error = "the bench state file " + fu::PathText(path) + " is corrupt (" + error +
                "); 'mvbench reset' starts a new bench";
        return false;
    }
    bool changed = false;
    if (!change(state, changed, error))
        return false;
    if (!changed && !modified)
        return true;
    if (found == 1 && UpdateInPlace(path, text, Serialize(state)))
        return true;
    return WriteStateFile(dir, state, error);
}

bool Overwrite(const State& state, std::string& error)
{
    std::filesystem::path dir;
    std::optional<fu::FileLock> lock;
    if (!LockFolder(dir, lock, error))
        return false;
    return WriteStateFile(dir, state, error);
}

}  // namespace mvbench
