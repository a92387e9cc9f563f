// Duoterm's HEX request language: the parser, the message converter and the checksum
//.
#include "request.h"

#include <climits>
#include <string>

namespace traffic {

namespace {

constexpr int kPausePerMarkMs = 50;

// The value of a hexadecimal digit; any other character counts as 0 (README).
uint8_t Nibble(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}

std::string WithoutSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ' ') out.push_back(c);
    return out;
}

int PauseMs(size_t marks) {
    if (marks > static_cast<size_t>(INT_MAX / kPausePerMarkMs)) return INT_MAX;
    return static_cast<int>(marks) * kPausePerMarkMs;
}

}  // namespace

uint8_t calcCheckSum(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0xFF;
    for (size_t i = 0; i < count; ++i) {
        sum ^= bytes[i];
        sum = static_cast<uint8_t>((sum << 1) | (sum >> 7));
    }
    return sum;
}

std::vector<uint8_t> ConvertMessage(std::string_view message) {
    std::string text = WithoutSpaces(message);
    bool checksum = false;
    if (!text.empty() && text.back() == '*' && text.find('*') == text.size() - 1) {
        text.pop_back();
        checksum = true;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2 + 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const uint8_t high = Nibble(text[i]);
        const uint8_t low = i + 1 < text.size() ? Nibble(text[i + 1]) : 0;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    if (checksum) bytes.push_back(calcCheckSum(bytes.data(), bytes.size()));
    return bytes;
}

std::vector<RequestStep> obrabZapstr(std::string_view request) {
    // 1 and 2: no spaces; every run of "*" collapsed to one (the same as deleting the first
    // character of the first "**" while there is one, in one pass).
    std::string text;
    text.reserve(request.size());
    for (char c : request) {
        if (c == ' ') continue;
        if (c == '*' && !text.empty() && text.back() == '*') continue;
        text.push_back(c);
    }
    std::vector<RequestStep> steps;
    // 3.
    if (text.empty() || text == "*") return steps;
    // 4.
    if (text.find_first_of("*#") == std::string::npos) {
        steps.push_back({ConvertMessage(text), 0});
        return steps;
    }
    // 5.
    std::string message;
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool last = i + 1 == text.size();
        const bool nextIsMark = !last && text[i + 1] == '#';
        if (c == '#') {
            ++run;
            if (!nextIsMark) {
                steps.push_back({ConvertMessage(message), PauseMs(run)});
                run = 0;
                message.clear();
            }
        } else if (c == '*' && !nextIsMark) {
            message.push_back('*');
            steps.push_back({ConvertMessage(message), 0});
            message.clear();
        } else {
            message.push_back(c);
            if (last) steps.push_back({ConvertMessage(message), 0});
        }
    }
    return steps;
}

void RunRequest(const std::vector<RequestStep>& steps,
                const std::function<void(const std::vector<uint8_t>&)>& writePort,
                const std::function<void(int)>& wait) {
    for (const RequestStep& step : steps) {
        writePort(step.bytes);
        if (step.pauseMs > 0) wait(step.pauseMs);
    }
}

}  // namespace traffic
