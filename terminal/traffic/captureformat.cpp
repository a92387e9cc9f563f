// The capture file's lines: formatting a record, and parsing lines and whole captures back.
#include "captureformat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>

namespace traffic {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendNumber(std::string& out, uint64_t value, int width = 0)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    for (int pad = width - static_cast<int>(result.ptr - buffer); pad > 0; --pad)
        out += '0';
    out.append(buffer, result.ptr);
}

const char* KindName(CaptureKind kind)
{
    switch (kind) {
    case CaptureKind::Received: return "rx";
    case CaptureKind::Sent: return "tx";
    case CaptureKind::LineErrors: return "errors";
    case CaptureKind::PortEvent: return "port";
    case CaptureKind::Stop: return "stop";
    }
    return "?";
}

const char* EventName(PortEvent event)
{
    switch (event) {
    case PortEvent::Opened: return "opened";
    case PortEvent::Closed: return "closed";
    case PortEvent::Lost: return "lost";
    case PortEvent::Reopened: return "reopened";
    }
    return "?";
}

// Splits off the next field up to a single space; false when there is none.
bool NextField(std::string_view& rest, std::string_view& field)
{
    if (rest.empty())
        return false;
    const size_t space = rest.find(' ');
    field = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return !field.empty();
}

// A decimal number of exactly `digits` digits (any number of digits for 0), in [low, high].
bool ParseFixed(std::string_view text, size_t digits, int low, int high, int& value)
{
    if ((digits && text.size() != digits) || text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && value >= low && value <= high;
}

bool ParseUnsigned(std::string_view text, uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

bool ParseDate(std::string_view text, CaptureWallTime& wall)
{
    return text.size() == 10 && text[4] == '-' && text[7] == '-' &&
           ParseFixed(text.substr(0, 4), 4, 0, 9999, wall.year) &&
           ParseFixed(text.substr(5, 2), 2, 1, 12, wall.month) &&
           ParseFixed(text.substr(8, 2), 2, 1, 31, wall.day);
}

bool ParseTime(std::string_view text, CaptureWallTime& wall)
{
    // A leap second reads as 60.
    return text.size() == 12 && text[2] == ':' && text[5] == ':' && text[8] == '.' &&
           ParseFixed(text.substr(0, 2), 2, 0, 23, wall.hour) &&
           ParseFixed(text.substr(3, 2), 2, 0, 59, wall.minute) &&
           ParseFixed(text.substr(6, 2), 2, 0, 60, wall.second) &&
           ParseFixed(text.substr(9, 3), 3, 0, 999, wall.millisecond);
}

// "| text" at the end of a line; the text may be empty ("|" alone).
bool SplitText(std::string_view rest, std::string_view& text)
{
    if (rest == "|") {
        text = {};
        return true;
    }
    if (rest.substr(0, 2) != "| ")
        return false;
    text = rest.substr(2);
    return true;
}

bool Malformed(std::string& error, const char* why)
{
    error = why;
    return false;
}

bool ParseData(std::string_view rest, CaptureRecord& record, std::string& error)
{
    record.bytes.clear();
    while (!rest.empty() && rest[0] != '|') {
        if (rest.size() < 3 || rest[2] != ' ')
            return Malformed(error, "a byte is not two hexadecimal digits");
        const int high = HexValue(rest[0]), low = HexValue(rest[1]);
        if (high < 0 || low < 0)
            return Malformed(error, "a byte is not two hexadecimal digits");
        record.bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        rest.remove_prefix(3);
    }
    std::string_view text;
    if (!SplitText(rest, text))
        return Malformed(error, "the text after the bytes is missing");
    std::string decoded;
    if (!UnescapeText(text, decoded))
        return Malformed(error, "the text has a bad escape");
    if (decoded.size() != record.bytes.size() ||
        !std::equal(decoded.begin(), decoded.end(), record.bytes.begin(),
                    [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; }))
        return Malformed(error, "the text does not match the bytes");
    return true;
}

bool ParseCounts(std::string_view rest, CaptureRecord& record, std::string& error)
{
    if (rest == "n/a") {
        record.counts.reset();
        return true;
    }
    static constexpr std::string_view names[] = {"framing=", "parity=", "overrun=", "break="};
    LineErrorCounts counts;
    uint64_t* fields[] = {&counts.framing, &counts.parity, &counts.overrun, &counts.breaks};
    for (size_t i = 0; i < 4; ++i) {
        std::string_view field;
        if (!NextField(rest, field) || field.substr(0, names[i].size()) != names[i] ||
            !ParseUnsigned(field.substr(names[i].size()), *fields[i]))
            return Malformed(error, "the counters are not framing=N parity=N overrun=N break=N");
    }
    if (!rest.empty())
        return Malformed(error, "text after the counters");
    record.counts = counts;
    return true;
}

bool ParseEvent(std::string_view rest, CaptureRecord& record, std::string& error)
{
    std::string_view name;
    if (!NextField(rest, name))
        return Malformed(error, "the port event is missing");
    static constexpr PortEvent events[] = {PortEvent::Opened, PortEvent::Closed, PortEvent::Lost,
                                           PortEvent::Reopened};
    bool known = false;
    for (PortEvent event : events)
        if (name == EventName(event)) {
            record.event = event;
            known = true;
        }
    if (!known)
        return Malformed(error, "an unknown port event");
    std::string_view text;
    if (!SplitText(rest, text) || !UnescapeText(text, record.detail))
        return Malformed(error, "the port event's text is missing or badly escaped");
    return true;
}

}  // namespace

void AppendEscapedText(std::string& out, const uint8_t* bytes, size_t count)
{
    // Written through a pointer into room for the longest text (four characters a byte),
    // then cut to what was used: a chunk of a fast line is tens of kilobytes.
    const size_t at = out.size();
    out.resize(at + 4 * count);
    char* p = out.data() + at;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b != '\\' && b != 0x7F && b != 0x98) {
            *p++ = static_cast<char>(b);
            continue;
        }
        *p++ = '\\';
        switch (b) {
        case '\\': *p++ = '\\'; break;
        case '\r': *p++ = 'r'; break;
        case '\n': *p++ = 'n'; break;
        case '\t': *p++ = 't'; break;
        default:
            *p++ = 'x';
            *p++ = kDigits[b >> 4];
            *p++ = kDigits[b & 0x0F];
            break;
        }
    }
    out.resize(static_cast<size_t>(p - out.data()));
}

bool UnescapeText(std::string_view text, std::string& bytes)
{
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n')
            return false;
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\': bytes += '\\'; break;
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            bytes += static_cast<char>(high << 4 | low);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

void AppendCaptureLine(std::string& out, const CaptureRecord& r)
{
    const CaptureWallTime& w = r.wall;
    AppendNumber(out, static_cast<uint64_t>(w.year), 4);
    out += '-';
    AppendNumber(out, static_cast<uint64_t>(w.month), 2);
    out += '-';
    AppendNumber(out, static_cast<uint64_t>(w.day), 2);
    out += ' ';
    AppendNumber(out, static_cast<uint64_t>(w.hour), 2);
    out += ':';
    AppendNumber(out, static_cast<uint64_t>(w.minute), 2);
    out += ':';
    AppendNumber(out, static_cast<uint64_t>(w.second), 2);
    out += '.';
    AppendNumber(out, static_cast<uint64_t>(w.millisecond), 3);
    out += ' ';
    AppendNumber(out, static_cast<uint64_t>(r.micros < 0 ? 0 : r.micros));
    out += ' ';
    AppendNumber(out, static_cast<uint64_t>(r.port));
    out += ' ';
    out += KindName(r.kind);
    switch (r.kind) {
    case CaptureKind::Received:
    case CaptureKind::Sent:
        out += ' ';
        {
            const size_t at = out.size();
            out.resize(at + 3 * r.bytes.size());
            char* p = out.data() + at;
            for (uint8_t b : r.bytes) {
                *p++ = kDigits[b >> 4];
                *p++ = kDigits[b & 0x0F];
                *p++ = ' ';
            }
        }
        out += '|';
        if (!r.bytes.empty()) {
            out += ' ';
            AppendEscapedText(out, r.bytes.data(), r.bytes.size());
        }
        break;
    case CaptureKind::LineErrors:
        if (!r.counts) {
            out += " n/a";
            break;
        }
        out += " framing=";
        AppendNumber(out, r.counts->framing);
        out += " parity=";
        AppendNumber(out, r.counts->parity);
        out += " overrun=";
        AppendNumber(out, r.counts->overrun);
        out += " break=";
        AppendNumber(out, r.counts->breaks);
        break;
    case CaptureKind::PortEvent:
        out += ' ';
        out += EventName(r.event);
        out += " |";
        if (!r.detail.empty()) {
            out += ' ';
            AppendEscapedText(out, reinterpret_cast<const uint8_t*>(r.detail.data()), r.detail.size());
        }
        break;
    case CaptureKind::Stop:
        break;
    }
    out += '\n';
}

std::string CaptureLine(const CaptureRecord& record)
{
    std::string line;
    AppendCaptureLine(line, record);
    return line;
}

LineParse ParseCaptureLine(std::string_view line, CaptureRecord& record, std::string& error)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line[0] == '#')
        return LineParse::Skipped;
    record = CaptureRecord();
    std::string_view rest = line, date, time, micros, port, kind;
    if (!NextField(rest, date) || !NextField(rest, time) || !NextField(rest, micros) ||
        !NextField(rest, port) || !NextField(rest, kind)) {
        error = "fewer fields than date, time, microseconds, port and kind";
        return LineParse::Malformed;
    }
    uint64_t us = 0;
    if (!ParseDate(date, record.wall) || !ParseTime(time, record.wall)) {
        error = "the date or time is not YYYY-MM-DD hh:mm:ss.mmm";
        return LineParse::Malformed;
    }
    if (!ParseUnsigned(micros, us) || us > static_cast<uint64_t>(INT64_MAX)) {
        error = "the microseconds are not a number";
        return LineParse::Malformed;
    }
    record.micros = static_cast<int64_t>(us);
    if (port != "0" && port != "1" && port != "2") {
        error = "the port is not 0, 1 or 2";
        return LineParse::Malformed;
    }
    record.port = port[0] - '0';
    bool ok = false;
    if (kind == "rx" || kind == "tx") {
        record.kind = kind == "rx" ? CaptureKind::Received : CaptureKind::Sent;
        ok = ParseData(rest, record, error);
    } else if (kind == "errors") {
        record.kind = CaptureKind::LineErrors;
        ok = ParseCounts(rest, record, error);
    } else if (kind == "port") {
        record.kind = CaptureKind::PortEvent;
        ok = ParseEvent(rest, record, error);
    } else if (kind == "stop") {
        record.kind = CaptureKind::Stop;
        ok = rest.empty() || Malformed(error, "text after stop");
    } else {
        error = "an unknown record kind";
    }
    if (ok && (record.port == 0) != (record.kind == CaptureKind::Stop)) {
        error = "port 0 is only for stop";
        ok = false;
    }
    return ok ? LineParse::Record : LineParse::Malformed;
}

CaptureFile ReadCapture(std::istream& in)
{
    CaptureFile capture;
    std::string line;
    size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (in.eof()) {  // no line end after it
            capture.truncated = true;
            break;
        }
        if (number == 1) {
            std::string_view first = line;
            if (!first.empty() && first.back() == '\r')
                first.remove_suffix(1);
            capture.signature = first == kCaptureSignature;
            if (!capture.signature)
                capture.problems.push_back({number, "not a capture file: no signature"});
            continue;
        }
        CaptureRecord record;
        std::string error;
        switch (ParseCaptureLine(line, record, error)) {
        case LineParse::Record:
            capture.stopped = capture.stopped || record.kind == CaptureKind::Stop;
            capture.records.push_back(std::move(record));
            break;
        case LineParse::Skipped: break;
        case LineParse::Malformed: capture.problems.push_back({number, error}); break;
        }
    }
    return capture;
}

bool ReadCaptureFile(const std::filesystem::path& path, CaptureFile& capture)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    capture = ReadCapture(in);
    return true;
}

}  // namespace traffic
