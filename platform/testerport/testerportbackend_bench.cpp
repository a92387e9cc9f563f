// Tester ports of the simulated bench: the rig's COM1 and COM2 and the converter's own
// port, served by the bench library's port functions. The standard requests are decoded
// here into those functions.
#include "mvbench_ports.h"
#include "testerportbackend.h"

namespace platform::testerport {

namespace {

// The bench reports failures as non-zero statuses; a request it cannot take gets this one.
constexpr uint32_t kBenchInvalid = 87;

uint32_t Status(int status) { return static_cast<uint32_t>(status); }

class BenchBackend final : public Backend, private LineOperations {
public:
    ~BenchBackend() override { Close(); }

    uint32_t Open(const std::string& path) override
    {
        MVB_PORT port = nullptr;
        if (int status = MVB_PortOpen(path.c_str(), &port))
            return Status(status);
        port_ = port;
        return 0;
    }

    void Close() override
    {
        if (port_)
            MVB_PortClose(port_);
        port_ = nullptr;
    }

    uint32_t Escape(uint32_t function) override { return Status(MVB_PortEscape(port_, static_cast<int>(function))); }

    uint32_t SetLine(const std::string& description) override
    {
        auto settings = ParseLineDescription(description);
        if (!settings)
            return kBenchInvalid;
        const uint32_t status = Status(MVB_PortSetLine(port_, settings->baud, settings->stopBitsCode,
                                                       settings->parityCode, settings->dataBits));
        if (status == 0)
            line_ = *settings;  // a later baud or line-control request keeps the rest
        return status;
    }

    uint32_t SetTimeouts(const Timeouts& t) override
    {
        return Status(MVB_PortSetTimeouts(port_, t.readIntervalTimeout, t.readTotalTimeoutMultiplier,
                                          t.readTotalTimeoutConstant, t.writeTotalTimeoutMultiplier,
                                          t.writeTotalTimeoutConstant));
    }

    uint32_t Read(void* buffer, uint32_t size, uint32_t* got) override
    {
        return Status(MVB_PortRead(port_, buffer, size, got));
    }

    uint32_t Write(const void* buffer, uint32_t size, uint32_t* put) override
    {
        return Status(MVB_PortWrite(port_, buffer, size, put));
    }

    uint32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* returned) override
    {
        return DecodeRequest(*this, kBenchInvalid, code, in, inSize, out, outSize, returned);
    }

private:
    // The line-control request changes the format and keeps the baud rate, and the other
    // way round; the bench takes them together, so the last of each is remembered.
    uint32_t SetBaud(uint32_t baud) override
    {
        line_.baud = baud;
        return Status(MVB_PortSetLine(port_, line_.baud, line_.stopBitsCode, line_.parityCode, line_.dataBits));
    }

    uint32_t SetLineControl(int stopBitsCode, int parityCode, int dataBits) override
    {
        line_.stopBitsCode = stopBitsCode;
        line_.parityCode = parityCode;
        line_.dataBits = dataBits;
        return Status(MVB_PortSetLine(port_, line_.baud, line_.stopBitsCode, line_.parityCode, line_.dataBits));
    }

    uint32_t ModemStatus(uint32_t* status) override { return Status(MVB_PortModemStatus(port_, status)); }

    MVB_PORT port_ = nullptr;
    LineSettings line_{9600, 0, 0, 8};
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<BenchBackend>(); }

}  // namespace platform::testerport
