// Feeds arbitrary text to Duoterm's traffic units: the request parser and the message
// converter (checked against a literal transcription of the parsing rules for shorter texts), the
// tick formatting, the receive store's views and the HEX key filter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hexkeyfilter.h"
#include "request.h"
#include "rxdisplay.h"

namespace {

// The parsing rules, step by step (quadratic, so only for shorter texts).
std::vector<traffic::RequestStep> ReferenceParser(std::string text) {
    std::vector<traffic::RequestStep> steps;
    auto writePort = [&](const std::string& message, int pause) {
        steps.push_back({traffic::ConvertMessage(message), pause});
    };
    for (size_t at; (at = text.find(' ')) != std::string::npos;) text.erase(at, 1);
    for (size_t at; (at = text.find("**")) != std::string::npos;) text.erase(at, 1);
    if (text.empty() || text == "*") return steps;
    if (text.find('*') == std::string::npos && text.find('#') == std::string::npos) {
        writePort(text, 0);
        return steps;
    }
    std::string message;
    int run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hasNext = i + 1 < text.size();
        if (c == '#') {
            ++run;
            if (!hasNext || text[i + 1] != '#') {
                writePort(message, run * 50);
                run = 0;
                message.clear();
            }
        } else if (c == '*' && (!hasNext || text[i + 1] != '#')) {
            message += '*';
            writePort(message, 0);
            message.clear();
        } else {
            message += c;
            if (!hasNext) writePort(message, 0);
        }
    }
    return steps;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The parser: every step's pause is a whole number of marks, and its bytes come from at
    // most the whole text; for shorter texts the steps are those of the step-by-step parser.
    const std::vector<traffic::RequestStep> steps = traffic::obrabZapstr(text);
    for (const auto& step : steps) {
        if (step.pauseMs < 0 || step.pauseMs % 50 != 0) __builtin_trap();
        if (step.bytes.size() > size / 2 + 2) __builtin_trap();
    }
    if (size <= 512 && steps != ReferenceParser(std::string(text))) __builtin_trap();

    // The converter: one byte per two characters (a lone last one makes a byte too), plus
    // the checksum; with only hexadecimal digits, the digits read back from the bytes.
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    const bool checksum = !digits.empty() && digits.back() == '*' && digits.find('*') == digits.size() - 1;
    if (checksum) digits.pop_back();
    const std::vector<uint8_t> bytes = traffic::ConvertMessage(text);
    if (bytes.size() != (digits.size() + 1) / 2 + (checksum ? 1 : 0)) __builtin_trap();
    if (checksum && bytes.back() != traffic::calcCheckSum(bytes.data(), bytes.size() - 1)) __builtin_trap();
    for (size_t i = 0; i < digits.size(); ++i) {
        if (!IsHex(digits[i])) continue;
        const char* hex = "0123456789ABCDEF";
        const uint8_t b = bytes[i / 2];
        const char shown = hex[i % 2 == 0 ? b >> 4 : b & 15];
        if (shown != (digits[i] >= 'a' ? digits[i] - 'a' + 'A' : digits[i])) __builtin_trap();
    }

    // The tick formatting: three characters and one character per byte.
    const traffic::DisplayLines lines = traffic::FormatTick(data, size);
    if (lines.hex.size() != 3 * size || lines.chars.size() != size) __builtin_trap();

    // The receive store, the input cut into ticks at every 0xFF: the hexadecimal view holds
    // every byte, the character view's lines hold no line end.
    traffic::RxLog log;
    size_t start = 0, ticks = 0, kept = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != 0xFF) continue;
        log.AppendTick(data + start, i - start);
        ticks += i > start;
        kept += i - start;
        start = i + 1;
    }
    if (log.LineCount() != ticks || log.TotalBytes() != kept) __builtin_trap();
    size_t hexChars = 0;
    for (size_t i = 0; i < log.LineCount(); ++i) hexChars += log.HexLine(i).size();
    if (hexChars != 3 * kept) __builtin_trap();
    for (size_t j = 0; j < log.CharViewLineCount(); ++j) {
        const std::string line = log.CharViewLine(j);
        if (line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
        if (log.CharViewLineTick(j) >= log.LineCount()) __builtin_trap();
    }

    // The key filter on every byte, with the button enabled and disabled.
    for (size_t i = 0; i < size; ++i) {
        const auto enabled = traffic::otpraveditKeyPress(data[i], true);
        const auto disabled = traffic::otpraveditKeyPress(data[i], false);
        if ((enabled.action == traffic::HexKeyAction::Send) != (data[i] == 13)) __builtin_trap();
        if (disabled.action == traffic::HexKeyAction::Send) __builtin_trap();
    }
    return 0;
}
