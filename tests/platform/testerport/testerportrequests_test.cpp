#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "testerportbackend.h"

using platform::testerport::DecodeRequest;
using platform::testerport::LineOperations;
using platform::testerport::LineSettings;
using platform::testerport::ParseLineDescription;

TEST(LineDescription, ParsesWellFormedDescriptions)
{
    struct Case {
        const char* text;
        uint32_t baud;
        int stop, parity, data;
    } cases[] = {
        {"300,n,8,1", 300, 0, 0, 8},
        {"115200,n,8,1", 115200, 0, 0, 8},
        {"1200,E,7,2", 1200, 2, 2, 7},
        {" 9600 , o , 5 , 1.5 ", 9600, 1, 1, 5},
        {"COM2:2400,m,6,1", 2400, 0, 3, 6},
        {"4800,s,8,2", 4800, 2, 4, 8},
    };
    for (const Case& c : cases) {
        auto settings = ParseLineDescription(c.text);
        ASSERT_TRUE(settings) << c.text;
        EXPECT_EQ(settings->baud, c.baud) << c.text;
        EXPECT_EQ(settings->stopBitsCode, c.stop) << c.text;
        EXPECT_EQ(settings->parityCode, c.parity) << c.text;
        EXPECT_EQ(settings->dataBits, c.data) << c.text;
    }
}

TEST(LineDescription, RefusesMalformedDescriptions)
{
    for (const char* text : {"", "300", "300,n,8", "300,n,8,1,x", "0,n,8,1", "-300,n,8,1", "300,x,8,1",
                             "300,nn,8,1", "300,n,9,1", "300,n,4,1", "300,n,8,3", "300,n,8,", "abc,n,8,1",
                             "99999999999,n,8,1", "300 baud,n,8,1"})
        EXPECT_FALSE(ParseLineDescription(text)) << '"' << text << '"';
}

namespace {

class RecordingOps : public LineOperations {
public:
    uint32_t SetBaud(uint32_t baud) override { return Record("baud " + std::to_string(baud)); }
    uint32_t SetLineControl(int stop, int parity, int data) override
    {
        return Record("line " + std::to_string(stop) + " " + std::to_string(parity) + " " + std::to_string(data));
    }
    uint32_t SetTimeouts(const platform::testerport::Timeouts& t) override
    {
        return Record("timeouts " + std::to_string(t.readIntervalTimeout) + " " +
                      std::to_string(t.readTotalTimeoutMultiplier) + " " +
                      std::to_string(t.readTotalTimeoutConstant) + " " +
                      std::to_string(t.writeTotalTimeoutMultiplier) + " " +
                      std::to_string(t.writeTotalTimeoutConstant));
    }
    uint32_t Escape(uint32_t function) override { return Record("escape " + std::to_string(function)); }
    uint32_t ModemStatus(uint32_t* status) override
    {
        *status = 0xB0;
        return Record("status");
    }

    std::vector<std::string> calls;

private:
    uint32_t Record(std::string call)
    {
        calls.push_back(std::move(call));
        return 0;
    }
};

constexpr uint32_t kInvalid = 87;

}  // namespace

TEST(StandardRequests, DecodeIntoLineOperations)
{
    RecordingOps ops;
    uint32_t returned = 99;
    const uint32_t baud = 115200;
    const uint8_t line[3] = {0, 0, 8};
    const uint32_t timeouts[5] = {20, 10, 300, 20, 200};
    uint32_t status = 0;
    EXPECT_EQ(DecodeRequest(ops, kInvalid, platform::testerport::kRequestSetBaudRate, &baud, 4, nullptr, 0, &returned), 0u);
    EXPECT_EQ(DecodeRequest(ops, kInvalid, platform::testerport::kRequestSetLineControl, line, 3, nullptr, 0, &returned), 0u);
    EXPECT_EQ(DecodeRequest(ops, kInvalid, platform::testerport::kRequestSetTimeouts, timeouts, 20, nullptr, 0, &returned), 0u);
    for (uint32_t code : {platform::testerport::kRequestSetDtr, platform::testerport::kRequestClrDtr, platform::testerport::kRequestSetRts,
                          platform::testerport::kRequestClrRts})
        EXPECT_EQ(DecodeRequest(ops, kInvalid, code, nullptr, 0, nullptr, 0, &returned), 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(DecodeRequest(ops, kInvalid, platform::testerport::kRequestGetModemStatus, nullptr, 0, &status, 4, &returned), 0u);
    EXPECT_EQ(status, 0xB0u);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"baud 115200", "line 0 0 8", "timeouts 20 10 300 20 200",
                                                   "escape 5", "escape 6", "escape 3", "escape 4", "status"}));
}

TEST(StandardRequests, RefuseWrongBuffersAndUnknownCodesWithoutActing)
{
    RecordingOps ops;
    uint32_t returned = 0;
    uint8_t buffer[32] = {};
    struct Case {
        uint32_t code;
        const void* in;
        uint32_t inSize;
        void* out;
        uint32_t outSize;
    } cases[] = {
        {platform::testerport::kRequestSetBaudRate, nullptr, 4, nullptr, 0},
        {platform::testerport::kRequestSetBaudRate, buffer, 2, nullptr, 0},
        {platform::testerport::kRequestSetLineControl, buffer, 4, nullptr, 0},
        {platform::testerport::kRequestSetTimeouts, buffer, 16, nullptr, 0},
        {platform::testerport::kRequestSetDtr, buffer, 4, nullptr, 0},
        {platform::testerport::kRequestGetModemStatus, nullptr, 0, nullptr, 4},
        {platform::testerport::kRequestGetModemStatus, nullptr, 0, buffer, 2},
        {0x1B0000, nullptr, 0, nullptr, 0},
        {0x220168, nullptr, 0, buffer, 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeRequest(ops, kInvalid, c.code, c.in, c.inSize, c.out, c.outSize, &returned), kInvalid)
            << std::hex << c.code;
    EXPECT_TRUE(ops.calls.empty());
}
