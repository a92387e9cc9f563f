#include "serialdevice.h"

#include "serialbackend.h"

namespace platform {

SerialDevice::SerialDevice() : backend_(serial_detail::MakeBackend()) {}

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Check(uint32_t error)
{
    lastError_ = error;
    return error == 0;
}

bool SerialDevice::Open(const std::string& path)
{
    Close();
    open_ = Check(backend_->Open(path));
    return open_;
}

void SerialDevice::Close()
{
    if (open_)
        backend_->Close();
    open_ = false;
}

bool SerialDevice::IsOpen() const { return open_; }

// A call on a device that is not open fails with this code instead of reaching the backend.
constexpr uint32_t kNotOpen = 6;  // the invalid-handle code of the system the tools come from

bool SerialDevice::Escape(int function)
{
    return Check(open_ ? backend_->Escape(function) : kNotOpen);
}

bool SerialDevice::SetLine(const std::string& description)
{
    return Check(open_ ? backend_->SetLine(description) : kNotOpen);
}

bool SerialDevice::SetTimeouts(const SerialTimeouts& timeouts)
{
    return Check(open_ ? backend_->SetTimeouts(timeouts) : kNotOpen);
}

bool SerialDevice::Read(void* buffer, uint32_t size, uint32_t* got)
{
    *got = 0;
    return Check(open_ ? backend_->Read(buffer, size, got) : kNotOpen);
}

bool SerialDevice::Write(const void* buffer, uint32_t size, uint32_t* put)
{
    *put = 0;
    return Check(open_ ? backend_->Write(buffer, size, put) : kNotOpen);
}

bool SerialDevice::Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                           uint32_t* returned)
{
    *returned = 0;
    return Check(open_ ? backend_->Request(code, in, inSize, out, outSize, returned) : kNotOpen);
}

}  // namespace platform
