// What one port panel sends and receives: the HEX send through the request language, the
// ASCII send, the side's last kind of send, auto-send, and the received bytes gathered for the
// display tick into the panel's compact receive store. Text becomes Windows-1251 bytes here, at the
// window's edge; the traffic units work on bytes.
//
// Threads: user-interface thread only. A HEX request's pauses block it (that is what a pause
// in the request language means).
#pragma once

#include "codepage.h"
#include "rxdisplay.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

class TCustomComm;

namespace duoterm {

// The receive store's default memory budget per panel on a machine with this much physical
// memory (0: unknown): a sixteenth of it, at least 64 MiB and at most 2 GiB, so that the two
// panels together keep to an eighth of the machine.
size_t DefaultViewBudget(uint64_t physicalBytes);

class TPortTraffic {
public:
    TPortTraffic(int side, TCustomComm& port);

    // Every message written, with the side, for the automatic exchange.
    std::function<void(int side, const uint8_t* bytes, size_t count)> onMessageWritten;
    // Whether received bytes belong to the automatic exchange rather than the display, and
    // where they go then.
    std::function<bool()> exchangeTakesReceived;
    std::function<void(int side, const uint8_t* bytes, size_t count)> onExchangeReceived;
    // Every chunk read from the port and every chunk the port took, as it happens (the
    // capture): received bytes whether they go to the display or the exchange, sent bytes of
    // every kind of send.
    std::function<void(int side, const uint8_t* bytes, size_t count)> onReadChunk;
    std::function<void(int side, const uint8_t* bytes, size_t count)> onWrittenChunk;

    // The HEX send button (and Enter in a HEX line): the request in the line, then the side's
    // last kind of send is HEX.
    void OtpravButtonClick(const QString& request);
    // The ASCII send button: the line's text, with a carriage return when VK is ticked.
    void OtpravButtonASCCIClick(const QString& text, bool vk);
    // Parses a HEX request (Windows-1251 bytes) and writes its messages on the port, blocking
    // for its pauses, without changing the last kind of send (auto-send, the exchange).
    void SendHexRequest(std::string_view request1251);
    void writeportASCCI(const QString& text, bool vk);
    bool LastSendHex() const { return lastSendHex_; }

    // Auto-send: while on, every transmit-empty event of the port repeats the side's last kind
    // of manual send (HEX request or ASCII text) with the line's current text, without changing
    // that kind. Before the first manual send on this side there is nothing to repeat.
    void SetAutoSend(bool on) { autoSend_ = on; }
    bool AutoSend() const { return autoSend_; }
    // The port's transmit-empty event, with the current texts of the side's HEX and ASCII
    // lines and the VK box.
    void TxEmpty(const QString& hexLine, const QString& asciiLine, bool vk);

    // The port's receive event: bytes waiting in its input queue. At most about a megabyte is
    // taken at a time, so that a line that never pauses cannot hold the window's thread; the
    // rest stays in the queue for the next event or tick.
    void RxChar(int count);
    // While an exchange runs: hands everything the port holds now to the exchange.
    void CollectForExchange();
    // Takes in what the port holds now, as a receive event does, without waiting for one.
    void TakeWaiting();
    // Runs between the pieces of a long message, before the window's events: the window takes
    // in what its ports received meanwhile, so that a message between its own two ports never
    // waits for the far port's receive event to make room.
    std::function<void()> betweenPieces;
    // The display tick: takes everything received since the last one as one line of each
    // view; false when nothing came.
    bool Tick();
    // The clear button: empties both views (what arrives afterwards is kept).
    void Clear() { log_.Clear(); }
    const traffic::RxLog& Log() const { return log_; }
    // What the port took, a tick per write, each with its time (for the timeline).
    const traffic::RxLog& SentLog() const { return sentLog_; }
    // After each tick stored in Log() (sent: false) or SentLog() (sent: true).
    std::function<void(int side, bool sent)> onStored;
    // The stores' memory budget (RxLog::SetBudget): past it the oldest bytes leave the views
    // (a capture still has them).
    void SetViewBudget(size_t bytes)
    {
        log_.SetBudget(bytes);
        sentLog_.SetBudget(bytes);
    }
    int PendingRx() const { return pendingRx_; }

private:
    // Reads what is waiting, up to about `limit` bytes (whole reads of kReadChunk).
    void ReadWaiting(std::vector<uint8_t>& into, size_t limit);
    void HandToExchange(size_t limit);
    void Write(const std::vector<uint8_t>& bytes);
    // Writes a message whole, however long.
    void WriteWhole(const std::vector<uint8_t>& bytes);

    int side_;
    TCustomComm& port_;
    bool lastSendHex_ = false;
    bool manualSent_ = false;  // a send button (or Enter) has sent on this side
    bool autoSend_ = false;
    bool writing_ = false;  // a message is being written
    int pendingRx_ = 0;
    std::vector<uint8_t> staged_;  // read since the last tick, shown at the next
    traffic::RxLog log_;
    traffic::RxLog sentLog_;
};

}  // namespace duoterm
