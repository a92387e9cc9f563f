// The serial port component's value types: line-setting enumerations, the event and option
// sets, the handler types and the error it raises.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>

enum TBaudRate : uint8_t {
    cbr110, cbr300, cbr600, cbr1200, cbr2400, cbr4800, cbr9600, cbr14400, cbr19200, cbr38400,
    cbr56000, cbr57600, cbr115200, cbr128000, cbr256000
};
enum TParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits : uint8_t { sb10, sb15, sb20 };
enum TDatabits : uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommEventState : uint8_t {
    evBreak, evCTS, evDSR, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty
};
// The modem input lines ModemLineState asks for.
enum TModemLine : int { mlCTS = 1, mlDSR = 2, mlRing = 3, mlRLSD = 4 };
enum TCommOption : uint8_t {
    coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip
};

// A set of enumeration members, one bit per ordinal.
template <typename E, int Count, typename Bits>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> members)
    {
        for (E member : members)
            bits_ |= Bit(member);
    }
    static constexpr TEnumSet All()
    {
        TEnumSet set;
        set.bits_ = static_cast<Bits>((1u << Count) - 1);
        return set;
    }
    static constexpr TEnumSet FromBits(Bits bits)
    {
        TEnumSet set;
        set.bits_ = static_cast<Bits>(bits & All().bits_);
        return set;
    }
    constexpr bool Contains(E member) const { return bits_ & Bit(member); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Bits ToBits() const { return bits_; }
    constexpr TEnumSet& Include(E member) { bits_ |= Bit(member); return *this; }
    constexpr TEnumSet& Exclude(E member) { bits_ &= static_cast<Bits>(~Bit(member)); return *this; }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr Bits Bit(E member) { return static_cast<Bits>(1u << static_cast<int>(member)); }
    Bits bits_ = 0;
};

using TCommEventType = TEnumSet<TCommEventState, 9, uint16_t>;
using TCommOptions = TEnumSet<TCommOption, 5, uint8_t>;

// Event handlers: a bound callable each, Sender first.
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TCommRxCharEvent = std::function<void(QObject* Sender, int Count)>;
using TCommErrorEvent = std::function<void(QObject* Sender, int Errors)>;

// A port's line errors since it was opened: framing, parity and overrun errors and breaks.
struct TLineErrorCounts {
    uint64_t framing = 0, parity = 0, overrun = 0, breaks = 0;
    bool operator==(const TLineErrorCounts&) const = default;
};

// A failure to open or configure a port: the message ends in " (Error: <code>) ".
class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& message, int32_t errorCode)
        : std::runtime_error(message), errorCode_(errorCode)
    {
    }
    int32_t ErrorCode() const { return errorCode_; }

private:
    int32_t errorCode_;
};
