// The simulated driver library's five driver functions over the shared bench state
// (EEPROMs, faults, what is attached) and the process's live serial side (drivercore.h).
#include "drivercore.h"
#include "mvusb.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

using namespace mvbench;

namespace {

// Driver statuses (low byte non-zero on failure).
constexpr MV_STATUS kInvalidHandle = 0x01;
constexpr MV_STATUS kDeviceNotFound = 0x02;
constexpr MV_STATUS kDeviceNotOpened = 0x03;  // the converter went away
constexpr MV_STATUS kIoError = 0x04;          // the bench state cannot be used
constexpr MV_STATUS kInvalidParameter = 0x06;
constexpr MV_STATUS kNotSupported = 0x11;

// Every driver call on a converter counts against its unplug-after fault: the call that
// uses up the count is still served, then the converter is gone.
void CountAgainstUnplugAfter(Converter& c, bool& modified)
{
    if (c.unplugAfter <= 0)
        return;
    modified = true;
    if (--c.unplugAfter == 0) {
        c.unplugAfter = -1;
        c.plugged = false;
    }
}

// Loads the state for a call on converter `id`: the converter must still be plugged; the call
// counts against its unplug-after fault; `op` may change its EEPROM (then it returns true in
// `modified`). Returns the call's status; `snap` is filled whenever the state could be read.
using ConverterOp = std::function<MV_STATUS(Converter&, bool& modified)>;
MV_STATUS Reach(uint64_t id, Snap& snap, bool& haveSnap, const ConverterOp& op)
{
    MV_STATUS status = MV_OK;
    std::string error;
    const bool ok = Transact(
        [&](State& s, bool& modified, std::string&) {
            snap = SnapOf(s);
            haveSnap = true;
            Converter* c = s.ById(id);
            if (!c || !c->plugged) {
                status = kDeviceNotOpened;
                return true;
            }
            CountAgainstUnplugAfter(*c, modified);
            bool changed = false;
            status = op ? op(*c, changed) : MV_OK;
            modified = modified || changed;
            return true;
        },
        error);
    return ok ? status : kIoError;
}

enum class HandleUse { Keep, Release };

// The converter a driver handle stands for; Release also makes the handle invalid.
std::optional<uint64_t> HandleConverter(MV_HANDLE handle, HandleUse use)
{
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    auto it = l.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == l.handles.end())
        return std::nullopt;
    const uint64_t id = it->second;
    if (use == HandleUse::Release)
        l.handles.erase(it);
    return id;
}

// The start every call on an open handle shares: the request is timed from here with the
// driver's latency, the handle's converter is looked up, and Begin reaches it on the bench
// state (Reach) and takes the timing of that state.
class ConverterCall {
public:
    explicit ConverterCall(MV_HANDLE handle, HandleUse use = HandleUse::Keep)
        : id_(HandleConverter(handle, use))
    {
    }

    bool Valid() const { return id_.has_value(); }
    // MV_OK, or the status the call ends with.
    MV_STATUS Begin(const ConverterOp& op = nullptr)
    {
        if (!id_)
            return kInvalidHandle;
        bool haveSnap = false;
        const MV_STATUS status = Reach(*id_, snap_, haveSnap, op);
        if (haveSnap)
            request_.Use(snap_);
        return status;
    }
    // Begin, failing with kInvalidParameter (once the converter is reached) when the
    // arguments are not valid.
    MV_STATUS Begin(bool argumentsValid)
    {
        return Begin([argumentsValid](Converter&, bool&) {
            return argumentsValid ? MV_OK : kInvalidParameter;
        });
    }

    uint64_t Id() const { return *id_; }
    const Snap& State() const { return snap_; }
    Request& Timing() { return request_; }

private:
    Request request_{true};
    std::optional<uint64_t> id_;
    Snap snap_;
};

uint32_t Le32(const void* p)
{
    const auto* b = static_cast<const uint8_t*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

extern "C" {

MV_EXPORT MV_STATUS MV_API MV_Open(int deviceIndex, MV_HANDLE* handle)
{
    Request request(true);
    if (!handle)
        return kInvalidParameter;
    MV_STATUS status = MV_OK;
    uint64_t id = 0;
    std::string error;
    Snap snap;
    const bool ok = Transact(
        [&](State& s, bool& modified, std::string&) {
            snap = SnapOf(s);
            request.Use(snap);
            Converter* c = s.Plugged(deviceIndex);
            if (!c) {
                status = kDeviceNotFound;
                return true;
            }
            CountAgainstUnplugAfter(*c, modified);
            if (s.opensFail) {
                status = kDeviceNotFound;
                return true;
            }
            id = c->id;
            return true;
        },
        error);
    if (!ok)
        return kIoError;
    if (status != MV_OK)
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    const uintptr_t token = l.NewToken();
    l.handles[token] = id;
    l.Conv(id);
    *handle = reinterpret_cast<MV_HANDLE>(token);
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Close(MV_HANDLE handle)
{
    ConverterCall call(handle, HandleUse::Release);
    if (!call.Valid())
        return kInvalidHandle;
    call.Begin();  // counts against the faults; a converter already gone closes all the same
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Read(MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead)
{
    ConverterCall call(handle);
    if (const MV_STATUS status = call.Begin(bytesRead && (buffer || bytesToRead == 0)))
        return status;
    Live& l = L();
    std::unique_lock<std::mutex> lock(l.mutex);
    ConverterLive& c = l.Conv(call.Id());
    const Clock::time_point start = call.Timing().Start();
    ReadRule rule;
    if (c.readTimeoutMs == 0)
        rule.immediate = true;
    else
        rule.total = start + std::chrono::milliseconds(c.readTimeoutMs);
    *bytesRead = ReadWaiting(lock, l, c.endpoint, static_cast<uint8_t*>(buffer), bytesToRead, rule, start,
                             call.Timing());
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_Write(MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                                    uint32_t* bytesWritten)
{
    ConverterCall call(handle);
    if (const MV_STATUS status = call.Begin(bytesWritten && (buffer || bytesToWrite == 0)))
        return status;
    Live& l = L();
    std::lock_guard<std::mutex> hold(l.mutex);
    ConverterSend(l, call.State(), call.Id(), l.Conv(call.Id()), static_cast<const uint8_t*>(buffer),
                  bytesToWrite, call.Timing().Start());
    *bytesWritten = bytesToWrite;
    return MV_OK;
}

MV_EXPORT MV_STATUS MV_API MV_IoCtl(MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize,
                                    void* outBuffer, uint32_t outSize, uint32_t* bytesReturned,
                                    void* /*overlapped*/)
{
    ConverterCall call(handle);
    const bool inOk = inSize == 0 || inBuffer;
    const bool outOk = outSize == 0 || outBuffer;
    auto noBuffers = [&] { return inSize == 0 && outSize == 0; };
    uint32_t returned = 0;
    // EEPROM requests act on the shared state inside the transaction; serial requests are
    // checked there and carried out on the live side afterwards.
    const MV_STATUS status = call.Begin([&](Converter& c, bool& modified) -> MV_STATUS {
        if (!inOk || !outOk)
            return kInvalidParameter;
        switch (requestCode) {
        case MV_IOCTL_READ_EE_WORD: {
            if (inSize != 4 || outSize < 2)
                return kInvalidParameter;
            const uint32_t word = Le32(inBuffer);
            if (word > 63)
                return kInvalidParameter;
            const uint16_t value = c.ReadWord(static_cast<int>(word));
            auto* out = static_cast<uint8_t*>(outBuffer);
            out[0] = static_cast<uint8_t>(value & 0xFF);
            out[1] = static_cast<uint8_t>(value >> 8);
            returned = 2;
            return MV_OK;
        }
        case MV_IOCTL_WRITE_EE_WORD: {
            if (inSize != 4 || (outSize != 0 && outSize < 4))
                return kInvalidParameter;
            uint8_t in[4];
            std::memcpy(in, inBuffer, 4);
            const unsigned word = in[0] | (in[1] << 8);
            if (word > 63)
                return kInvalidParameter;
            c.eeprom[2 * word] = in[2];
            c.eeprom[2 * word + 1] = in[3];
            modified = true;
            if (outSize >= 4) {
                std::memcpy(outBuffer, in, 4);
                returned = 4;
            }
            return MV_OK;
        }
        case MV_IOCTL_ERASE_EE:
            if (!noBuffers())
                return kInvalidParameter;
            c.eeprom.fill(0xFF);
            modified = true;
            return MV_OK;
        case MV_IOCTL_SET_BAUD_RATE: {
            if (inSize != 4 || outSize != 0)
                return kInvalidParameter;
            LineFormat f;
            f.baud = Le32(inBuffer);
            return ValidLineFormat(f) ? MV_OK : kInvalidParameter;
        }
        case MV_IOCTL_SET_LINE_CONTROL: {
            if (inSize != 3 || outSize != 0)
                return kInvalidParameter;
            const auto* b = static_cast<const uint8_t*>(inBuffer);
            LineFormat f;
            f.stopBitsCode = b[0];
            f.parityCode = b[1];
            f.dataBits = b[2];
            return ValidLineFormat(f) ? MV_OK : kInvalidParameter;
        }
        case MV_IOCTL_SET_TIMEOUTS:
            return inSize == 8 && outSize == 0 ? MV_OK : kInvalidParameter;
        case MV_IOCTL_SET_HIGH_SPEED:
            return noBuffers() ? MV_OK : kInvalidParameter;
        case MV_IOCTL_GET_MODEM_STATUS:
            return inSize == 0 && outSize >= 4 ? MV_OK : kInvalidParameter;
        default:
            return kNotSupported;
        }
    });
    if (status != MV_OK)
        return status;
    {
        Live& l = L();
        std::lock_guard<std::mutex> hold(l.mutex);
        ConverterLive& c = l.Conv(call.Id());
        const Clock::time_point now = Clock::now();
        switch (requestCode) {
        case MV_IOCTL_SET_BAUD_RATE:
            c.endpoint.Settle(now);
            c.endpoint.format.baud = Le32(inBuffer);
            break;
        case MV_IOCTL_SET_LINE_CONTROL: {
            const auto* b = static_cast<const uint8_t*>(inBuffer);
            c.endpoint.Settle(now);
            c.endpoint.format.stopBitsCode = b[0];
            c.endpoint.format.parityCode = b[1];
            c.endpoint.format.dataBits = b[2];
            break;
        }
        case MV_IOCTL_SET_TIMEOUTS:
            c.readTimeoutMs = Le32(inBuffer);
            c.writeTimeoutMs = Le32(static_cast<uint8_t*>(inBuffer) + 4);
            break;
        case MV_IOCTL_GET_MODEM_STATUS: {
            const uint32_t value = ConverterInputs(l, call.State(), call.Id(), c, now);
            std::memcpy(outBuffer, &value, 4);  // the bench runs on little-endian hosts
            returned = 4;
            break;
        }
        default:
            break;
        }
    }
    if (bytesReturned)
        *bytesReturned = returned;
    return MV_OK;
}

}  // extern "C"
