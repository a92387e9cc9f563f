// The capture file's format: one text line per record of traffic on Duoterm's two ports (a
// chunk of bytes received or sent, the line-error counters of a port, an event of a port, the
// end of the capture), with the formatting of a record into its line and the parser that
// reads a capture back. Plain C++ on Windows-1251 bytes, no Qt; the README describes the
// format for people who read captures with other tools.
//
// A line is
//     YYYY-MM-DD hh:mm:ss.mmm MICROS PORT KIND [FIELDS...]
// with the local wall-clock time, the microseconds since the capture began, the port (1 or 2;
// 0 for a record of the capture itself) and the kind: "rx"/"tx" (FIELDS: the bytes as
// two-digit capital hexadecimal numbers, then "|" and the bytes as escaped Windows-1251 text),
// "errors" (framing=N parity=N overrun=N break=N, or "n/a" when the device has no counters),
// "port" (opened, closed, lost or reopened, then "|" and an escaped detail text) and "stop".
// The hexadecimal numbers are the record of the bytes; the text is for people reading the
// file, and the parser only checks that it agrees with them. The escaped text has no line
// end and no byte outside printable ASCII and Windows-1251 letters and signs: "\\", "\r",
// "\n", "\t", and "\xHH" for the other control bytes, 0x7F and 0x98 (unassigned in
// Windows-1251). Lines starting with "#" are comments; the first line is the signature
// "#duoterm-capture 1".
//
// The text is the received bytes themselves, escaped, not a conversion: the file is a
// Windows-1251 text like the terminal's other files, so this unit needs no code-page table
// and stays free of Qt (whose codec the window uses), and nothing depends on the text to get
// the bytes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace traffic {

inline constexpr std::string_view kCaptureSignature = "#duoterm-capture 1";

// A local date and time, broken down, to the millisecond.
struct CaptureWallTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
    bool operator==(const CaptureWallTime&) const = default;
    auto operator<=>(const CaptureWallTime&) const = default;
};

// A port's line-error counts since it was opened.
struct LineErrorCounts {
    uint64_t framing = 0, parity = 0, overrun = 0, breaks = 0;
    bool operator==(const LineErrorCounts&) const = default;
};

enum class CaptureKind { Received, Sent, LineErrors, PortEvent, Stop };
enum class PortEvent { Opened, Closed, Lost, Reopened };

struct CaptureRecord {
    CaptureWallTime wall;
    int64_t micros = 0;  // since the capture began
    int port = 0;        // 1 or 2; 0 for Stop
    CaptureKind kind = CaptureKind::Received;
    std::vector<uint8_t> bytes;             // Received, Sent
    std::optional<LineErrorCounts> counts;  // LineErrors; none: the device has no counters
    PortEvent event = PortEvent::Opened;    // PortEvent
    std::string detail;                     // PortEvent: free text (Windows-1251), e.g. the port's name
    bool operator==(const CaptureRecord&) const = default;
};

// The escaped text of bytes as the format writes it, and its reverse (false on a bad escape).
void AppendEscapedText(std::string& out, const uint8_t* bytes, size_t count);
bool UnescapeText(std::string_view text, std::string& bytes);

// Appends the record's line, with its line end ("\n"), to `out`. A Received or Sent record of
// no bytes still makes a line ("1 rx |").
void AppendCaptureLine(std::string& out, const CaptureRecord& record);
std::string CaptureLine(const CaptureRecord& record);

// Parses one line (without its line end; a trailing CR is dropped). Returns nothing for a
// blank or comment line; throws nothing: a malformed line gives false and the reason.
enum class LineParse { Record, Skipped, Malformed };
LineParse ParseCaptureLine(std::string_view line, CaptureRecord& record, std::string& error);

// A whole capture read back: its records in file order, and every line that could not be
// read (its number, counting from 1, and why). A last line without its line end (a capture
// cut off by a crash or a full disk) is left out and noted in `truncated`.
struct CaptureFile {
    bool signature = false;  // the first line is kCaptureSignature
    std::vector<CaptureRecord> records;
    struct Problem {
        size_t line;
        std::string error;
    };
    std::vector<Problem> problems;
    bool truncated = false;
    bool stopped = false;  // a Stop record was read
};
CaptureFile ReadCapture(std::istream& in);
// False when the file cannot be opened.
bool ReadCaptureFile(const std::filesystem::path& path, CaptureFile& capture);

}  // namespace traffic
