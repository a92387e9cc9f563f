// Duoterm's serial port component: a port opened by name with typed line settings, plain
// read, write, purge, modem-line and DTR/RTS operations, and line events delivered to its
// handler properties on the user-interface thread by a wait thread while it is open.
//
// Threads: every call runs on the user-interface thread (the one that opens the port); the
// handlers are called there too, one hand-over at a time.
#pragma once

#include "commeventthread.h"
#include "commtypes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace platform::terminalport {
class TerminalPort;
}

class TCustomComm;

// Opens the device a port's DeviceName stands for: the operating system's port by default,
// a pseudo-terminal or a scripted fake in tests. It returns null, with the system's last
// error set, when the device cannot be opened.
using TCommPortFactory =
    std::function<std::unique_ptr<platform::terminalport::TerminalPort>(const QString& deviceName)>;

// The XON and XOFF characters of a port; a change reaches the open port at once.
class TCommEventChars : public QObject {
    Q_OBJECT
public:
    explicit TCommEventChars(TCustomComm* port);
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    void SetXonChar(char value);
    void SetXoffChar(char value);

private:
    TCustomComm* port_;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

class TCustomComm : public QObject {
    Q_OBJECT
public:
    explicit TCustomComm(QObject* owner = nullptr);
    ~TCustomComm() override;

    void Open();
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    int Write(const void* buffer, int count);
    int Read(void* buffer, int count);
    void PurgeInput();
    bool ModemLineState(int line);
    bool EscapeFunction(int function);
    // Put the line up or down. On a device without modem lines (a pseudo-terminal, some
    // adapters) they do nothing and raise nothing: such a port still carries data.
    void SetDTR(bool state);
    void SetRTS(bool state);
    void ApplySettings();
    // The line errors since the port was opened, read from the driver at each call (cheap
    // enough for a once-a-second status refresh); nothing while closed or when the device
    // keeps no counts (a pseudo-terminal has none), so the window can say "not available".
    std::optional<TLineErrorCounts> LineErrorCounts();

    QString DeviceName() const { return deviceName_; }
    void SetDeviceName(const QString& value);
    TCommEventType MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEventType value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    // The rate in bits per second: a member's value, or any other rate the device takes
    // (BaudRate then keeps the last member set). Written at once into an open port's driver.
    uint32_t BaudRateBps() const { return customRate_ ? customRate_ : BaudRateValue(baudRate_); }
    void SetBaudRateBps(uint32_t value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TStopbits value);
    TDatabits Databits() const { return databits_; }
    void SetDatabits(TDatabits value);
    int32_t ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(int32_t value);
    int32_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(int32_t value);
    int32_t CharsTimeOut() const { return charsTimeOut_; }
    void SetCharsTimeOut(int32_t value);
    TCommOptions Options() const { return options_; }
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl value);
    TCommEventChars* EventChars() const { return eventChars_.get(); }

    // Where Open gets its device from; an empty factory restores the system's ports. Takes
    // effect at the next Open.
    void SetPortFactory(TCommPortFactory factory);
    // The system's ports: the name resolved to a device path and opened there.
    static std::unique_ptr<platform::terminalport::TerminalPort> OpenSystemPort(const QString& deviceName);

    // The event handlers, assigned plainly; an empty one is skipped.
    TNotifyEvent OnBreak;
    TNotifyEvent OnCTS;
    TNotifyEvent OnDSR;
    TCommErrorEvent OnError;
    TNotifyEvent OnRing;
    TNotifyEvent OnRLSD;
    TCommRxCharEvent OnRxChar;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnTxEmpty;
    // Called once, after the error event, when the open device has gone away (an adapter
    // pulled out, the far end closed); the port stays open until it is closed.
    TNotifyEvent OnDeviceLost;

    // The driver value of each enumeration member.
    static uint32_t BaudRateValue(TBaudRate rate);
    // The event mask bit of an event.
    static uint32_t EventBit(TCommEventState event);

protected:
    // Calls the one handler bound to an event mask bit.
    virtual void DispatchEvent(uint32_t eventBit);

    platform::terminalport::TerminalPort* Handle() const { return handle_.get(); }

private:
    // Opens the device named by DeviceName through the factory and checks that it is a
    // character device.
    void OpenHandle();
    void ReleaseHandle();
    void HandleEvents(TCommEventThread* thread, uint32_t eventMask);
    [[noreturn]] static void RaiseCommError(const char* text, int32_t code);
    // The system code of the last failed backend call, as the error code to raise.
    static int32_t LastErrorCode();
    void RefuseWhileOpen() const;
    // DTR or RTS by an escape function; a device without modem lines lets it pass.
    void SetModemLine(uint32_t function);
    void RetireThread();

    TCommPortFactory portFactory_;
    std::unique_ptr<platform::terminalport::TerminalPort> handle_;
    uint32_t lineErrors_ = 0;
    uint32_t inQueue_ = 0;
    QString deviceName_ = QStringLiteral("Com2");
    std::unique_ptr<TCommEventThread> thread_;
    TCommEventType monitorEvents_ = TCommEventType::All();
    TBaudRate baudRate_ = cbr9600;
    uint32_t customRate_ = 0;  // a rate no member stands for; 0 when baudRate_ applies
    TParity parity_ = paNone;
    TStopbits stopbits_ = sb10;
    TDatabits databits_ = da8;
    int32_t readBufSize_ = 4096;
    int32_t writeBufSize_ = 2048;
    int32_t charsTimeOut_ = 250;
    TCommOptions options_;
    std::unique_ptr<TCommEventChars> eventChars_;
    TFlowControl flowControl_ = fcDefault;
};

// The port the terminal places on its window: the same component with its settings exposed
// as properties (written to a stored description unless they equal their defaults). A
// property that has a default is resettable to it; DeviceName, MonitorEvents and Options
// have none and are always written.
class TComm : public TCustomComm {
    Q_OBJECT
    Q_PROPERTY(QString DeviceName READ DeviceName WRITE SetDeviceName)
    Q_PROPERTY(uint MonitorEvents READ MonitorEventBits WRITE SetMonitorEventBits)
    Q_PROPERTY(int BaudRate READ BaudRateOrdinal WRITE SetBaudRateOrdinal RESET ResetBaudRate)
    Q_PROPERTY(int Parity READ ParityOrdinal WRITE SetParityOrdinal RESET ResetParity)
    Q_PROPERTY(int Stopbits READ StopbitsOrdinal WRITE SetStopbitsOrdinal RESET ResetStopbits)
    Q_PROPERTY(int Databits READ DatabitsOrdinal WRITE SetDatabitsOrdinal RESET ResetDatabits)
    Q_PROPERTY(int ReadBufSize READ ReadBufSize WRITE SetReadBufSize RESET ResetReadBufSize)
    Q_PROPERTY(int WriteBufSize READ WriteBufSize WRITE SetWriteBufSize RESET ResetWriteBufSize)
    Q_PROPERTY(int CharsTimeOut READ CharsTimeOut WRITE SetCharsTimeOut RESET ResetCharsTimeOut)
    Q_PROPERTY(uint Options READ OptionBits WRITE SetOptionBits)
    Q_PROPERTY(int FlowControl READ FlowControlOrdinal WRITE SetFlowControlOrdinal RESET ResetFlowControl)
    Q_PROPERTY(int XonChar READ XonCharValue WRITE SetXonCharValue)
    Q_PROPERTY(int XoffChar READ XoffCharValue WRITE SetXoffCharValue)
public:
    using TCustomComm::TCustomComm;

private:
    uint MonitorEventBits() const { return MonitorEvents().ToBits(); }
    void SetMonitorEventBits(uint bits) { SetMonitorEvents(TCommEventType::FromBits(static_cast<uint16_t>(bits))); }
    int BaudRateOrdinal() const { return BaudRate(); }
    void SetBaudRateOrdinal(int v) { if (v >= cbr110 && v <= cbr256000) SetBaudRate(static_cast<TBaudRate>(v)); }
    void ResetBaudRate() { SetBaudRate(cbr9600); }
    int ParityOrdinal() const { return Parity(); }
    void SetParityOrdinal(int v) { if (v >= paNone && v <= paSpace) SetParity(static_cast<TParity>(v)); }
    void ResetParity() { SetParity(paNone); }
    int StopbitsOrdinal() const { return Stopbits(); }
    void SetStopbitsOrdinal(int v) { if (v >= sb10 && v <= sb20) SetStopbits(static_cast<TStopbits>(v)); }
    void ResetStopbits() { SetStopbits(sb10); }
    int DatabitsOrdinal() const { return Databits(); }
    void SetDatabitsOrdinal(int v) { if (v >= da4 && v <= da8) SetDatabits(static_cast<TDatabits>(v)); }
    void ResetDatabits() { SetDatabits(da8); }
    void ResetReadBufSize() { SetReadBufSize(4096); }
    void ResetWriteBufSize() { SetWriteBufSize(2048); }
    void ResetCharsTimeOut() { SetCharsTimeOut(250); }
    uint OptionBits() const { return Options().ToBits(); }
    void SetOptionBits(uint bits) { SetOptions(TCommOptions::FromBits(static_cast<uint8_t>(bits))); }
    int FlowControlOrdinal() const { return FlowControl(); }
    void SetFlowControlOrdinal(int v) { if (v >= fcNone && v <= fcDefault) SetFlowControl(static_cast<TFlowControl>(v)); }
    void ResetFlowControl() { SetFlowControl(fcDefault); }
    int XonCharValue() const { return static_cast<unsigned char>(EventChars()->XonChar()); }
    void SetXonCharValue(int v) { EventChars()->SetXonChar(static_cast<char>(v)); }
    int XoffCharValue() const { return static_cast<unsigned char>(EventChars()->XoffChar()); }
    void SetXoffCharValue(int v) { EventChars()->SetXoffChar(static_cast<char>(v)); }
};
