// Win32 backend: the comm API on a handle opened for overlapped input and output. Every
// transfer and wait has its own event. A transfer never stays pending when its call returns;
// the event wait may, when the modem lines changed while it was being set up (see WaitEvent).
#include "terminalport.h"

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace platform::terminalport {

namespace {

bool FailLast() { return Fail(::GetLastError()); }

}  // namespace

// EscapeCommFunction and GetCommModemStatus on a driver without modem lines (virtual and
// some USB ports) fail with these.
bool IsNoModemLinesError(uint32_t code)
{
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_PARAMETER ||
           code == ERROR_BAD_COMMAND;
}

namespace {

// How long a failed wait pauses before the next, so that a driver that refuses every wait
// (as some emulated ports do) does not make the wait thread spin.
constexpr DWORD kFailedWaitPauseMs = 20;
// The events of the modem lines.
constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
// How long a wait ended by clearing the event mask may take before it is cancelled.
constexpr DWORD kEndWaitMs = 1000;

// The DCB's flag word sits right after BaudRate as one 32-bit word of bit fields.
constexpr size_t kFlagWordOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);

uint32_t FlagWord(const DCB& dcb)
{
    uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&dcb) + kFlagWordOffset, sizeof word);
    return word;
}

void SetFlagWord(DCB& dcb, uint32_t word)
{
    std::memcpy(reinterpret_cast<char*>(&dcb) + kFlagWordOffset, &word, sizeof word);
}

// Errors with which a wait, or a call on the port after it, fails when the device itself has
// gone away.
bool DeviceGone(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

class Win32TerminalPort final : public TerminalPort {
public:
    Win32TerminalPort(HANDLE handle, HANDLE stop, HANDLE waitDone, HANDLE readDone, HANDLE writeDone)
        : handle_(handle), stop_(stop), waitDone_(waitDone), readDone_(readDone),
          writeDone_(writeDone)
    {
    }
    ~Win32TerminalPort() override { Close(); }

    bool IsCharDevice() override
    {
        ::SetLastError(0);
        const DWORD type = ::GetFileType(handle_);
        if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != 0)
            return FailLast();
        return type == FILE_TYPE_CHAR;
    }

    bool Setup(int32_t inQueue, int32_t outQueue) override
    {
        return ::SetupComm(handle_, static_cast<DWORD>(inQueue), static_cast<DWORD>(outQueue)) ||
               FailLast();
    }

    bool GetState(Dcb& out) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb))
            return FailLast();
        dcb_ = dcb;
        out.baudRate = dcb.BaudRate;
        out.flags = FlagWord(dcb);
        out.xonLim = dcb.XonLim;
        out.xoffLim = dcb.XoffLim;
        out.byteSize = dcb.ByteSize;
        out.parity = dcb.Parity;
        out.stopBits = dcb.StopBits;
        out.xonChar = dcb.XonChar;
        out.xoffChar = dcb.XoffChar;
        out.errorChar = dcb.ErrorChar;
        out.eofChar = dcb.EofChar;
        out.evtChar = dcb.EvtChar;
        return true;
    }

    bool SetState(const Dcb& in) override
    {
        // Starts from the block last read, so the reserved fields stay as the driver has them
        // without a second read.
        DCB dcb = dcb_;
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = in.baudRate;
        SetFlagWord(dcb, in.flags);
        dcb.XonLim = in.xonLim;
        dcb.XoffLim = in.xoffLim;
        dcb.ByteSize = in.byteSize;
        dcb.Parity = in.parity;
        dcb.StopBits = in.stopBits;
        dcb.XonChar = in.xonChar;
        dcb.XoffChar = in.xoffChar;
        dcb.ErrorChar = in.errorChar;
        dcb.EofChar = in.eofChar;
        dcb.EvtChar = in.evtChar;
        return ::SetCommState(handle_, &dcb) || FailLast();
    }

    bool SetTimeouts(const Timeouts& t) override
    {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = t.readIntervalTimeout;
        timeouts.ReadTotalTimeoutMultiplier = t.readTotalTimeoutMultiplier;
        timeouts.ReadTotalTimeoutConstant = t.readTotalTimeoutConstant;
        timeouts.WriteTotalTimeoutMultiplier = t.writeTotalTimeoutMultiplier;
        timeouts.WriteTotalTimeoutConstant = t.writeTotalTimeoutConstant;
        return ::SetCommTimeouts(handle_, &timeouts) || FailLast();
    }

    int Read(void* buffer, int count, uint32_t waitMs) override
    {
        OVERLAPPED ov{};
        ov.hEvent = readDone_;
        DWORD done = 0;
        if (::ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, &ov))
            return static_cast<int>(done);
        return Finish(ov, waitMs);
    }

    int Write(const void* buffer, int count, uint32_t waitMs) override
    {
        OVERLAPPED ov{};
        ov.hEvent = writeDone_;
        DWORD done = 0;
        if (::WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, &ov))
            return static_cast<int>(done);
        return Finish(ov, waitMs);
    }

    bool Purge(uint32_t flags) override { return ::PurgeComm(handle_, flags) || FailLast(); }

    bool ModemStatus(uint32_t& status) override
    {
        DWORD value = 0;
        if (!::GetCommModemStatus(handle_, &value))
            return FailLast();
        status = value;
        return true;
    }

    bool Escape(uint32_t function) override
    {
        return ::EscapeCommFunction(handle_, function) || FailLast();
    }

    bool SetEventMask(uint32_t mask) override
    {
        if (!::SetCommMask(handle_, mask))
            return FailLast();
        mask_ = mask;
        linesKnown_ = false;
        noModemLines_ = false;
        return true;
    }

    WaitResult WaitEvent(uint32_t& mask) override
    {
        mask = 0;
        if (::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
            return EndWait(), WaitResult::Stopped;
        if (!waitPending_) {
            if (const DWORD changed = LinesChangedSince(lines_)) {
                mask = changed;
                return WaitResult::Event;
            }
            const DWORD before = lines_;
            waitOv_ = OVERLAPPED{};
            waitOv_.hEvent = waitDone_;
            ::ResetEvent(waitDone_);
            waitEvents_ = 0;
            if (::WaitCommEvent(handle_, &waitEvents_, &waitOv_))
                return Completed(mask);
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING)
                return Failed(error);
            waitPending_ = true;
            // A line that changed while the wait was being set up may already be part of the
            // state the driver compares with: report it now and leave the wait pending.
            if (const DWORD changed = LinesChangedSince(before)) {
                mask = changed;
                return WaitResult::Event;
            }
        }

        const HANDLE handles[2] = {stop_, waitDone_};
        const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (result != WAIT_OBJECT_0 + 1) {
            // Stopped, or the wait itself broke (its handles are no longer usable, as when
            // the device went away): either way the driver's wait must end before the port
            // does. A broken wait would break again at once, so it ends the waiting as a lost
            // device does.
            const DWORD error = result == WAIT_OBJECT_0 ? ERROR_SUCCESS : ::GetLastError();
            EndWait();
            if (result == WAIT_OBJECT_0)
                return WaitResult::Stopped;
            Fail(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
            return WaitResult::Gone;
        }
        waitPending_ = false;
        DWORD bytes = 0;
        if (::GetOverlappedResult(handle_, &waitOv_, &bytes, FALSE))
            return Completed(mask);
        return Failed(::GetLastError());
    }

    void StopWait() override { ::SetEvent(stop_); }

    bool ClearErrors(uint32_t& errors, uint32_t& inQueue) override
    {
        DWORD flags = 0;
        COMSTAT stat{};
        if (!::ClearCommError(handle_, &flags, &stat))
            return FailLast();
        Count(flags);
        errors = flags | uncollected_;
        uncollected_ = 0;
        inQueue = stat.cbInQue;
        return true;
    }

    bool LineCounts(LineCounters& counts) override
    {
        // Errors found here still reach the next ClearErrors (the port's error event).
        DWORD flags = 0;
        if (!::ClearCommError(handle_, &flags, nullptr))
            return FailLast();
        Count(flags);
        uncollected_ |= flags;
        counts = counts_;
        return true;
    }

    void Close() override
    {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE)
            EndWait();
        for (HANDLE* h : {&handle_, &stop_, &waitDone_, &readDone_, &writeDone_}) {
            if (*h && *h != INVALID_HANDLE_VALUE)
                ::CloseHandle(*h);
            *h = nullptr;
        }
    }

private:
    void Count(DWORD flags)
    {
        counts_.framing += (flags & CE_FRAME) != 0;
        counts_.parity += (flags & CE_RXPARITY) != 0;
        counts_.overrun += (flags & CE_OVERRUN) != 0;
        counts_.breaks += (flags & CE_BREAK) != 0;
    }

    // Waits for a transfer the driver did not finish at once, at most waitMs, then cancels
    // it; the record stays valid until the driver has let go of it, and what it moved counts.
    int Finish(OVERLAPPED& ov, uint32_t waitMs)
    {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING)
            return Fail(error), -1;
        if (::WaitForSingleObject(ov.hEvent, waitMs) != WAIT_OBJECT_0)
            ::CancelIoEx(handle_, &ov);
        DWORD done = 0;
        if (::GetOverlappedResult(handle_, &ov, &done, TRUE))
            return static_cast<int>(done);
        const DWORD result = ::GetLastError();
        if (result == ERROR_OPERATION_ABORTED || result == ERROR_TIMEOUT || done > 0)
            return static_cast<int>(done);
        return Fail(result), -1;
    }

    // A wait that failed, or completed with no event at all: both pause before the next,
    // unless the device has gone away. Some drivers end a wait on a vanished device with a
    // code that says nothing of it (an aborted operation); the modem status, which reads
    // without changing anything, then fails as a gone device does.
    WaitResult Failed(DWORD error)
    {
        Fail(error);
        if (DeviceGone(error))
            return WaitResult::Gone;
        DWORD lines = 0;
        if (error != ERROR_SUCCESS && !::GetCommModemStatus(handle_, &lines) && DeviceGone(::GetLastError()))
            return Fail(::GetLastError()), WaitResult::Gone;
        if (::WaitForSingleObject(stop_, kFailedWaitPauseMs) == WAIT_OBJECT_0)
            return WaitResult::Stopped;
        return WaitResult::Failed;
    }

    WaitResult Completed(uint32_t& mask)
    {
        mask = waitEvents_;
        reported_ = waitEvents_;
        return waitEvents_ ? WaitResult::Event : Failed(ERROR_SUCCESS);
    }

    // The modem lines that changed since the state `since`, as monitored event bits, leaving
    // out the lines the last completed wait reported (their change came after the state
    // kept); the state read becomes the one kept. A driver may compare the lines only with
    // their state when a wait begins (Wine's does), so a change made while the last event was
    // being handled, or while the next wait was being set up, would otherwise never be
    // reported. A driver that keeps such a change for its wait reports it once more; handlers
    // read the lines' live state, so that costs a repeated, true report and loses nothing.
    DWORD LinesChangedSince(DWORD since)
    {
        DWORD lines = 0;
        if (noModemLines_)
            return 0;
        if (!::GetCommModemStatus(handle_, &lines)) {
            linesKnown_ = false;
            if (IsNoModemLinesError(::GetLastError()))
                WaitWithoutModemLines();
            return 0;  // otherwise the wait reports the failure
        }
        DWORD changed = 0;
        if (linesKnown_) {
            const DWORD diff = lines ^ since;
            if (diff & MS_CTS_ON) changed |= EV_CTS;
            if (diff & MS_DSR_ON) changed |= EV_DSR;
            if (diff & MS_RLSD_ON) changed |= EV_RLSD;
            if (diff & MS_RING_ON) changed |= EV_RING;
            changed &= mask_ & ~reported_;
        }
        lines_ = lines;
        linesKnown_ = true;
        reported_ = 0;
        return changed;
    }

    // The events the driver's waits ask for: the monitored ones, less the modem lines' on a
    // device that has none.
    DWORD WaitedEvents() const { return noModemLines_ ? mask_ & ~kModemEvents : mask_; }

    // A device without modem lines (a pseudo-terminal under Wine, some virtual ports) may
    // refuse every wait that asks for their events: the waits go on without them, so that
    // data, errors and breaks are still reported.
    void WaitWithoutModemLines()
    {
        noModemLines_ = true;
        if (mask_ & kModemEvents)
            ::SetCommMask(handle_, WaitedEvents());
    }

    // Ends a wait still pending with the driver, so that its record is let go of.
    void EndWait()
    {
        if (!waitPending_)
            return;
        EndPendingWait(waitOv_);
        ::SetCommMask(handle_, WaitedEvents());
        waitPending_ = false;
    }

    void EndPendingWait(OVERLAPPED& ov)
    {
        ::SetCommMask(handle_, 0);  // completes a pending wait at once
        if (::WaitForSingleObject(ov.hEvent, kEndWaitMs) != WAIT_OBJECT_0)
            ::CancelIoEx(handle_, &ov);
        DWORD bytes = 0;
        ::GetOverlappedResult(handle_, &ov, &bytes, TRUE);
    }

    DCB dcb_{};  // the device control block as GetState last read it
    HANDLE handle_;
    HANDLE stop_;
    HANDLE waitDone_;
    HANDLE readDone_;
    HANDLE writeDone_;
    // Owner thread only: the line errors counted since the open, and the error flags a
    // LineCounts call took from the driver that no ClearErrors has passed on yet.
    LineCounters counts_;
    DWORD uncollected_ = 0;
    // Wait thread only (and the starting thread before it runs): the monitored events, the
    // modem lines as last read, the events the last completed wait reported, and the wait
    // that may stay pending with the driver from one WaitEvent to the next.
    DWORD mask_ = 0;
    DWORD lines_ = 0;
    bool linesKnown_ = false;
    bool noModemLines_ = false;  // the device answered that it has none
    DWORD reported_ = 0;
    OVERLAPPED waitOv_{};
    DWORD waitEvents_ = 0;
    bool waitPending_ = false;
};

}  // namespace

std::unique_ptr<TerminalPort> OpenTerminalPort(const std::string& path)
{
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FailLast(), nullptr;
    // The stop event exists before any wait thread, so a stop asked for early still counts.
    const HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE waitDone = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    const HANDLE readDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto port = std::make_unique<Win32TerminalPort>(handle, stop, waitDone, readDone, writeDone);
    if (!stop || !waitDone || !readDone || !writeDone)
        return FailLast(), nullptr;
    return port;
}

}  // namespace platform::terminalport
