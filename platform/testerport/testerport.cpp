#include "testerport.h"

#include "testerportbackend.h"

namespace platform::testerport {

TesterPort::TesterPort() : backend_(MakeBackend()) {}

TesterPort::~TesterPort() { Close(); }

bool TesterPort::Check(uint32_t error)
{
    lastError_ = error;
    return error == 0;
}

bool TesterPort::Open(const std::string& path)
{
    Close();
    open_ = Check(backend_->Open(path));
    return open_;
}

void TesterPort::Close()
{
    if (open_)
        backend_->Close();
    open_ = false;
}

bool TesterPort::IsOpen() const { return open_; }

// A call on a device that is not open fails with this code instead of reaching the backend:
// the invalid-handle code (ERROR_INVALID_HANDLE), on every backend alike.
constexpr uint32_t kNotOpen = 6;

bool TesterPort::Escape(uint32_t function)
{
    return Check(open_ ? backend_->Escape(function) : kNotOpen);
}

bool TesterPort::SetLine(const std::string& description)
{
    return Check(open_ ? backend_->SetLine(description) : kNotOpen);
}

bool TesterPort::SetTimeouts(const Timeouts& timeouts)
{
    return Check(open_ ? backend_->SetTimeouts(timeouts) : kNotOpen);
}

bool TesterPort::Read(void* buffer, uint32_t size, uint32_t* got)
{
    *got = 0;
    return Check(open_ ? backend_->Read(buffer, size, got) : kNotOpen);
}

bool TesterPort::Write(const void* buffer, uint32_t size, uint32_t* put)
{
    *put = 0;
    return Check(open_ ? backend_->Write(buffer, size, put) : kNotOpen);
}

bool TesterPort::Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                           uint32_t* returned)
{
    *returned = 0;
    return Check(open_ ? backend_->Request(code, in, inSize, out, outSize, returned) : kNotOpen);
}

}  // namespace platform::testerport
