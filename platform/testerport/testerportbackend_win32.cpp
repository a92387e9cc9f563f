// Tester ports on Windows: CreateFile, EscapeCommFunction, BuildCommDCB with
// SetCommState, SetCommTimeouts, ReadFile, WriteFile and DeviceIoControl on the handle.
#include <windows.h>

#include "modemlinehook.h"
#include "testerportbackend.h"

namespace platform::testerport {

namespace {

uint32_t LastSystemError()
{
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

class Win32Backend final : public Backend {
public:
    ~Win32Backend() override { Close(); }

    uint32_t Open(const std::string& path) override
    {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return LastSystemError();
        handle_ = handle;
        path_ = path;
        return 0;
    }

    void Close() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    uint32_t Escape(uint32_t function) override
    {
        if (ModemLineHook* hook = InstalledModemLineHook()) {
            switch (function) {
            case esc::SetRts: return hook->Drive(path_, ModemOutput::Rts, true) ? 0 : ERROR_GEN_FAILURE;
            case esc::ClrRts: return hook->Drive(path_, ModemOutput::Rts, false) ? 0 : ERROR_GEN_FAILURE;
            case esc::SetDtr: return hook->Drive(path_, ModemOutput::Dtr, true) ? 0 : ERROR_GEN_FAILURE;
            case esc::ClrDtr: return hook->Drive(path_, ModemOutput::Dtr, false) ? 0 : ERROR_GEN_FAILURE;
            default: return ERROR_INVALID_PARAMETER;
            }
        }
        return EscapeCommFunction(handle_, static_cast<DWORD>(function)) ? 0 : LastSystemError();
    }

    uint32_t SetLine(const std::string& description) override
    {
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        if (!BuildCommDCBA(description.c_str(), &dcb))
            return LastSystemError();
        return SetCommState(handle_, &dcb) ? 0 : LastSystemError();
    }

    uint32_t SetTimeouts(const Timeouts& timeouts) override
    {
        COMMTIMEOUTS native{timeouts.readIntervalTimeout, timeouts.readTotalTimeoutMultiplier,
                            timeouts.readTotalTimeoutConstant, timeouts.writeTotalTimeoutMultiplier,
                            timeouts.writeTotalTimeoutConstant};
        return SetCommTimeouts(handle_, &native) ? 0 : LastSystemError();
    }

    uint32_t Read(void* buffer, uint32_t size, uint32_t* got) override
    {
        DWORD n = 0;
        BOOL ok = ReadFile(handle_, buffer, size, &n, nullptr);
        *got = n;
        return ok ? 0 : LastSystemError();
    }

    uint32_t Write(const void* buffer, uint32_t size, uint32_t* put) override
    {
        DWORD n = 0;
        BOOL ok = WriteFile(handle_, buffer, size, &n, nullptr);
        *put = n;
        return ok ? 0 : LastSystemError();
    }

    uint32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* returned) override
    {
        if (ModemLineHook* hook = InstalledModemLineHook()) {
            if (uint32_t result = HookedRequest(*hook, code, outSize, out, returned); result != kNotHooked)
                return result;
        }
        DWORD n = 0;
        BOOL ok = DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize, &n, nullptr);
        *returned = n;
        return ok ? 0 : LastSystemError();
    }

private:
    static constexpr uint32_t kNotHooked = 0xFFFFFFFFu;

    // The modem-line requests go to the hook; the others still reach the device.
    uint32_t HookedRequest(ModemLineHook& hook, uint32_t code, uint32_t outSize, void* out, uint32_t* returned)
    {
        switch (code) {
        case kRequestSetDtr: return hook.Drive(path_, ModemOutput::Dtr, true) ? 0 : ERROR_GEN_FAILURE;
        case kRequestClrDtr: return hook.Drive(path_, ModemOutput::Dtr, false) ? 0 : ERROR_GEN_FAILURE;
        case kRequestSetRts: return hook.Drive(path_, ModemOutput::Rts, true) ? 0 : ERROR_GEN_FAILURE;
        case kRequestClrRts: return hook.Drive(path_, ModemOutput::Rts, false) ? 0 : ERROR_GEN_FAILURE;
        case kRequestGetModemStatus: {
            if (!out || outSize < 4)
                return ERROR_INVALID_PARAMETER;
            uint32_t status = 0;
            if (!hook.Read(path_, &status))
                return ERROR_GEN_FAILURE;
            CopyMemory(out, &status, 4);
            *returned = 4;
            return 0;
        }
        default:
            return kNotHooked;
        }
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string path_;
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace platform::testerport
