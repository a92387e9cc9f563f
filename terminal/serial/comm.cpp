#include "comm.h"

#include "portnames.h"
#include "terminalport.h"

#include <cstdio>

namespace tp = platform::terminalport;

namespace {

// Every non-default flow control starts from these bits cleared or set to fixed values.
constexpr uint32_t kFlowBits = tp::fOutxCtsFlow | tp::fOutxDsrFlow | tp::fDtrControlMask |
                               tp::fOutX | tp::fInX | tp::fRtsControlMask;

constexpr uint32_t kOptionBits[] = {tp::fParity, tp::fDsrSensitivity, tp::fTXContinueOnXoff,
                                    tp::fErrorChar, tp::fNull};

constexpr uint32_t kWriteTimeoutMs = 1500;
// How long past the driver's own write time-out a write is waited for before it is cancelled.
constexpr uint32_t kWriteGraceMs = 500;

}  // namespace

// ---------------------------------------------------------------------------------------

TCommEventChars::TCommEventChars(TCustomComm* port) : port_(port) {}

void TCommEventChars::SetXonChar(char value)
{
    if (value == xonChar_)
        return;
    xonChar_ = value;
    port_->ApplySettings();
}

void TCommEventChars::SetXoffChar(char value)
{
    if (value == xoffChar_)
        return;
    xoffChar_ = value;
    port_->ApplySettings();
}

// ---------------------------------------------------------------------------------------

TCustomComm::TCustomComm(QObject* owner)
    : QObject(owner), eventChars_(std::make_unique<TCommEventChars>(this))
{
}

TCustomComm::~TCustomComm()
{
    Close();
}

uint32_t TCustomComm::BaudRateValue(TBaudRate rate)
{
    static constexpr uint32_t values[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rate <= cbr256000 ? values[rate] : 9600;
}

uint32_t TCustomComm::EventBit(TCommEventState event)
{
    static constexpr uint32_t bits[] = {tp::ev::Break, tp::ev::Cts,    tp::ev::Dsr,
                                        tp::ev::Err,   tp::ev::Ring,   tp::ev::Rlsd,
                                        tp::ev::RxChar, tp::ev::RxFlag, tp::ev::TxEmpty};
    return event <= evTxEmpty ? bits[event] : 0;
}

void TCustomComm::RaiseCommError(const char* text, int32_t code)
{
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (Error: %d) ", static_cast<int>(code));
    throw ECommError(std::string(text) + suffix, code);
}

int32_t TCustomComm::LastErrorCode()
{
    return static_cast<int32_t>(tp::LastError());
}

void TCustomComm::RefuseWhileOpen() const
{
    if (IsOpen())
        RaiseCommError("Device already assigned (open)", -1);
}

void TCustomComm::SetPortFactory(TCommPortFactory factory)
{
    portFactory_ = std::move(factory);
}

std::unique_ptr<tp::TerminalPort> TCustomComm::OpenSystemPort(const QString& deviceName)
{
    return tp::OpenTerminalPort(platform::ResolvePortPath(deviceName.toStdString()));
}

// ---------------------------------------------------------------------------------------

void TCustomComm::Open()
{
    Close();
    tp::SetLastError(0);
    OpenHandle();
    if (!IsOpen())
        return;
    thread_ = std::make_unique<TCommEventThread>(handle_.get(), monitorEvents_);
    thread_->SetCallback([this](TCommEventThread* thread, uint32_t mask) { HandleEvents(thread, mask); });
    ApplySettings();
    if (!handle_->Setup(readBufSize_, writeBufSize_))
        RaiseCommError("Error initializing Read/Write Buffers", LastErrorCode());
    SetCharsTimeOut(charsTimeOut_);
}

void TCustomComm::OpenHandle()
{
    handle_ = portFactory_ ? portFactory_(deviceName_) : OpenSystemPort(deviceName_);
    if (!handle_)
        RaiseCommError("Error accessing specified device", LastErrorCode());
    if (!handle_->IsCharDevice()) {
        ReleaseHandle();
        RaiseCommError("Invalid device handle, access denied", -1);
    }
}

void TCustomComm::ReleaseHandle()
{
    if (handle_)
        handle_->Close();
    handle_.reset();
}

void TCustomComm::Close()
{
    if (!IsOpen())
        return;
    // A handler that runs while this waits may close the port itself, or reopen it with a
    // new thread: only the thread still current is retired here, and a new one is stopped
    // too before the handle goes.
    while (thread_) {
        TCommEventThread* thread = thread_.get();
        thread->StopSignal();
        thread->WaitForEnd();
        if (thread_.get() == thread)
            RetireThread();
    }
    ReleaseHandle();
}

void TCustomComm::RetireThread()
{
    // Closed from inside its own hand-over, the thread's delivery is still on the stack: its
    // object goes once that delivery has returned.
    if (thread_->InDelivery())
        thread_.release()->DeleteWhenDelivered();
    else
        thread_.reset();
}

// ---------------------------------------------------------------------------------------

void TCustomComm::ApplySettings()
{
    if (!IsOpen())
        return;
    tp::Dcb dcb;
    handle_->GetState(dcb);
    dcb.baudRate = BaudRateBps();
    dcb.parity = static_cast<uint8_t>(parity_);
    dcb.stopBits = static_cast<uint8_t>(stopbits_);
    dcb.byteSize = static_cast<uint8_t>(4 + databits_);
    dcb.xonChar = eventChars_->XonChar();
    dcb.xoffChar = eventChars_->XoffChar();
    dcb.xonLim = dcb.xoffLim = static_cast<uint16_t>(readBufSize_ / 4);

    if (flowControl_ != fcDefault) {
        dcb.flags &= ~kFlowBits;
        dcb.flags |= tp::kRtsControlToggle << tp::kRtsControlShift;
        dcb.flags |= tp::kControlEnable << tp::kDtrControlShift;
        switch (flowControl_) {
        case fcCTS: dcb.flags |= tp::fOutxCtsFlow; break;
        case fcDTR: dcb.flags |= tp::fOutxDsrFlow; break;
        case fcSoftware: dcb.flags |= tp::fOutX | tp::fInX; break;
        default: break;
        }
    }
    for (int option = coParityCheck; option <= coNullStrip; ++option) {
        if (options_.Contains(static_cast<TCommOption>(option)))
            dcb.flags |= kOptionBits[option];
        else
            dcb.flags &= ~kOptionBits[option];
    }
    if (!handle_->SetState(dcb))
        RaiseCommError("Error updating DataControlBlock", LastErrorCode());
}

void TCustomComm::SetDeviceName(const QString& value)
{
    RefuseWhileOpen();
    deviceName_ = value;
}

void TCustomComm::SetMonitorEvents(TCommEventType value)
{
    RefuseWhileOpen();
    monitorEvents_ = value;
}

void TCustomComm::SetReadBufSize(int32_t value)
{
    RefuseWhileOpen();
    readBufSize_ = value;
}

void TCustomComm::SetWriteBufSize(int32_t value)
{
    RefuseWhileOpen();
    writeBufSize_ = value;
}

#define COMM_APPLYING_SETTER(Name, Type, field) \
    void TCustomComm::Set##Name(Type value)     \
    {                                           \
        if (value == field)                     \
            return;                             \
        field = value;                          \
        ApplySettings();                        \
    }
COMM_APPLYING_SETTER(Parity, TParity, parity_)
COMM_APPLYING_SETTER(Stopbits, TStopbits, stopbits_)
COMM_APPLYING_SETTER(Databits, TDatabits, databits_)
COMM_APPLYING_SETTER(Options, TCommOptions, options_)
COMM_APPLYING_SETTER(FlowControl, TFlowControl, flowControl_)
#undef COMM_APPLYING_SETTER

void TCustomComm::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_ && customRate_ == 0)
        return;
    baudRate_ = value;
    customRate_ = 0;
    ApplySettings();
}

void TCustomComm::SetBaudRateBps(uint32_t value)
{
    for (int rate = cbr110; rate <= cbr256000; ++rate) {
        if (BaudRateValue(static_cast<TBaudRate>(rate)) == value) {
            SetBaudRate(static_cast<TBaudRate>(rate));
            return;
        }
    }
    if (value == customRate_)
        return;
    customRate_ = value;
    ApplySettings();
}

void TCustomComm::SetCharsTimeOut(int32_t value)
{
    charsTimeOut_ = value;
    if (!IsOpen())
        return;
    tp::Timeouts timeouts;
    timeouts.readIntervalTimeout = value == 0 ? tp::kMaxDword : static_cast<uint32_t>(value);
    timeouts.writeTotalTimeoutConstant = kWriteTimeoutMs;
    if (!handle_->SetTimeouts(timeouts))
        RaiseCommError("Error updating CommTimeouts", LastErrorCode());
}

// ---------------------------------------------------------------------------------------

int TCustomComm::Write(const void* buffer, int count)
{
    if (!IsOpen())
        return -1;
    return handle_->Write(buffer, count, kWriteTimeoutMs + kWriteGraceMs);
}

int TCustomComm::Read(void* buffer, int count)
{
    if (!IsOpen())
        return -1;
    return handle_->Read(buffer, count, charsTimeOut_ > 0 ? static_cast<uint32_t>(charsTimeOut_) : 0);
}

void TCustomComm::PurgeInput()
{
    if (IsOpen())
        handle_->Purge(tp::purge::RxAbort | tp::purge::RxClear);
}

bool TCustomComm::ModemLineState(int line)
{
    uint32_t mask = 0;
    switch (line) {
    case 1: mask = tp::ms::CtsOn; break;
    case 2: mask = tp::ms::DsrOn; break;
    case 3: mask = tp::ms::RingOn; break;
    case 4: mask = tp::ms::RlsdOn; break;
    default: break;
    }
    uint32_t status = 0;
    return IsOpen() && handle_->ModemStatus(status) && (status & mask);
}

bool TCustomComm::EscapeFunction(int function)
{
    if (!IsOpen())
        RaiseCommError("Port not open, unable to complete operation", -1);
    if (!handle_->Escape(static_cast<uint32_t>(function)))
        RaiseCommError("EscapeCommFunction failure", LastErrorCode());
    return true;
}

void TCustomComm::SetModemLine(uint32_t function)
{
    if (!IsOpen())
        RaiseCommError("Port not open, unable to complete operation", -1);
    if (!handle_->Escape(function) && !tp::IsNoModemLinesError(tp::LastError()))
        RaiseCommError("EscapeCommFunction failure", LastErrorCode());
}

std::optional<TLineErrorCounts> TCustomComm::LineErrorCounts()
{
    tp::LineCounters counts;
    if (!IsOpen() || !handle_->LineCounts(counts))
        return std::nullopt;
    return TLineErrorCounts{counts.framing, counts.parity, counts.overrun, counts.breaks};
}

void TCustomComm::SetDTR(bool state)
{
    SetModemLine(state ? tp::esc::SetDtr : tp::esc::ClrDtr);
}

void TCustomComm::SetRTS(bool state)
{
    SetModemLine(state ? tp::esc::SetRts : tp::esc::ClrRts);
}

// ---------------------------------------------------------------------------------------

void TCustomComm::HandleEvents(TCommEventThread* thread, uint32_t eventMask)
{
    if (!IsOpen() || thread != thread_.get())
        return;
    handle_->ClearErrors(lineErrors_, inQueue_);
    if (thread->DeviceLost())
        lineErrors_ |= tp::ce::Ioe;
    for (int event = evBreak; event <= evTxEmpty; ++event) {
        const uint32_t bit = EventBit(static_cast<TCommEventState>(event));
        if (!(eventMask & bit))
            continue;
        DispatchEvent(bit);
        // A handler that closed or reopened the port ends this delivery.
        if (thread != thread_.get())
            return;
    }
    if (thread->DeviceLost() && OnDeviceLost)
        OnDeviceLost(this);
}

void TCustomComm::DispatchEvent(uint32_t eventBit)
{
    switch (eventBit) {
    case tp::ev::Break: if (OnBreak) OnBreak(this); break;
    case tp::ev::Cts: if (OnCTS) OnCTS(this); break;
    case tp::ev::Dsr: if (OnDSR) OnDSR(this); break;
    case tp::ev::Err: if (OnError) OnError(this, static_cast<int>(lineErrors_)); break;
    case tp::ev::Ring: if (OnRing) OnRing(this); break;
    case tp::ev::Rlsd: if (OnRLSD) OnRLSD(this); break;
    case tp::ev::RxChar: if (OnRxChar) OnRxChar(this, static_cast<int>(inQueue_)); break;
    case tp::ev::RxFlag: if (OnRxFlag) OnRxFlag(this); break;
    case tp::ev::TxEmpty: if (OnTxEmpty) OnTxEmpty(this); break;
    default: break;
    }
}
