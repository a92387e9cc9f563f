#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "testerportbackend.h"

namespace platform::testerport {

namespace {

std::string Trim(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

bool ParseNumber(const std::string& text, uint32_t* value)
{
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<LineSettings> ParseLineDescription(const std::string& description)
{
    std::string text = Trim(description);
    // An optional port prefix such as "COM2:" names the port, not the settings.
    if (auto colon = text.find(':'); colon != std::string::npos)
        text = text.substr(colon + 1);

    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings settings;
    if (!ParseNumber(fields[0], &settings.baud) || settings.baud == 0)
        return std::nullopt;

    if (fields[1].size() != 1)
        return std::nullopt;
    switch (std::tolower(static_cast<unsigned char>(fields[1][0]))) {
    case 'n': settings.parityCode = 0; break;
    case 'o': settings.parityCode = 1; break;
    case 'e': settings.parityCode = 2; break;
    case 'm': settings.parityCode = 3; break;
    case 's': settings.parityCode = 4; break;
    default: return std::nullopt;
    }

    uint32_t dataBits = 0;
    if (!ParseNumber(fields[2], &dataBits) || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<int>(dataBits);

    if (fields[3] == "1")
        settings.stopBitsCode = 0;
    else if (fields[3] == "1.5")
        settings.stopBitsCode = 1;
    else if (fields[3] == "2")
        settings.stopBitsCode = 2;
    else
        return std::nullopt;
    return settings;
}

uint32_t DecodeRequest(LineOperations& ops, uint32_t invalidParameter, uint32_t code, const void* in,
                       uint32_t inSize, void* out, uint32_t outSize, uint32_t* returned)
{
    *returned = 0;
    auto noBuffers = [&] { return inSize == 0 && outSize == 0; };
    switch (code) {
    case kRequestSetBaudRate: {
        if (!in || inSize != 4 || outSize != 0)
            return invalidParameter;
        uint32_t baud;
        std::memcpy(&baud, in, 4);
        return ops.SetBaud(baud);
    }
    case kRequestSetLineControl: {
        if (!in || inSize != 3 || outSize != 0)
            return invalidParameter;
        const auto* bytes = static_cast<const uint8_t*>(in);
        return ops.SetLineControl(bytes[0], bytes[1], bytes[2]);
    }
    case kRequestSetTimeouts: {
        if (!in || inSize != 20 || outSize != 0)
            return invalidParameter;
        uint32_t values[5];
        std::memcpy(values, in, sizeof values);
        return ops.SetTimeouts({values[0], values[1], values[2], values[3], values[4]});
    }
    case kRequestSetDtr:
        return noBuffers() ? ops.Escape(esc::SetDtr) : invalidParameter;
    case kRequestClrDtr:
        return noBuffers() ? ops.Escape(esc::ClrDtr) : invalidParameter;
    case kRequestSetRts:
        return noBuffers() ? ops.Escape(esc::SetRts) : invalidParameter;
    case kRequestClrRts:
        return noBuffers() ? ops.Escape(esc::ClrRts) : invalidParameter;
    case kRequestGetModemStatus: {
        if (!out || outSize < 4 || inSize != 0)
            return invalidParameter;
        uint32_t status = 0;
        if (uint32_t error = ops.ModemStatus(&status))
            return error;
        std::memcpy(out, &status, 4);
        *returned = 4;
        return 0;
    }
    default:
        return invalidParameter;
    }
}

}  // namespace platform::testerport
