// Duoterm's HEX request language: the parser `obrabZapstr` that
// turns a HEX line into an ordered list of writes and pauses, the message converter of
// `writePort`, and `calcCheckSum`. Plain C++ on Windows-1251 bytes; it never sleeps or writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "waitt.h"

namespace traffic {

// The checksum byte: start with 0xFF; for each byte XOR it in, then rotate the 8-bit value left
// by one. Over nothing 0xFF, over 01 02 03 0xF9, over "abc" 0xBB.
uint8_t calcCheckSum(const uint8_t* bytes, size_t count);

// The conversion of `writePort`: delete every space; if the message's last character is its
// only "*", drop it and append the checksum over the converted bytes; convert the rest
// pairwise, first character the high four bits, second the low four bits. Rules for what the language leaves
// open (README, "The request language"): a character that is not a hexadecimal digit (0-9,
// A-F, a-f) counts as the digit 0 in either position of a pair; a lone last digit is the high
// four bits of a last byte whose low four bits are 0 ("1" gives 10, "123" gives 12 30). The
// result is whole, however long (no 1024-byte cut).
std::vector<uint8_t> ConvertMessage(std::string_view message);

// One `writePort` call of a request: write `bytes` with one call of the port's Write, hand
// them over to the exchange (copy to sentBuf, set sentLen, enable
// the wait timer) when it is running, then block for `pauseMs` (0: no pause).
// `bytes` may be empty: a message of nothing (the one before a leading "#" run, or between two
// runs) is still a writePort call; it transmits nothing, but it does hand over, setting the
// exchange's sent length to 0.
struct RequestStep {
    std::vector<uint8_t> bytes;
    int pauseMs = 0;

    bool operator==(const RequestStep&) const = default;
};

// The parser `obrabZapstr`, exactly:
//   1. delete every space; 2. collapse each run of "*" to one; 3. empty or "*": no steps;
//   4. no "*" and no "#": one step, the whole text;
//   5. otherwise walk the text: a run of k "#" ends the message under construction (one step,
//      pause k x 50 ms; a "#" is never part of a message); a "*" not followed by "#" ends the
//      message including the "*" (checksum, no pause); a "*" followed by "#" stays in the
//      message the run then ends; text after the last mark is the last step.
// The result lists the steps in order; the caller carries them out (RunRequest). A pause
// beyond the range of int is clamped to INT_MAX milliseconds.
std::vector<RequestStep> obrabZapstr(std::string_view request);

// Carries out parsed steps in order: writePort(step.bytes) for every step (empty ones too, see
// RequestStep), then wait(step.pauseMs) when the pause is above 0 (by default the blocking
// waitT, which stops the calling thread for the whole pause).
void RunRequest(const std::vector<RequestStep>& steps,
                const std::function<void(const std::vector<uint8_t>&)>& writePort,
                const std::function<void(int)>& wait = waitT);

}  // namespace traffic
