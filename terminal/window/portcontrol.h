// One port panel's logic: choosing, setting up, opening and closing its port, putting the DTR
// and RTS boxes on the lines, the modem labels, and the copy of the settings to the twin panel
// while "same settings for both ports" is ticked. The panel widget shows State() and passes
// the user's actions in; tests drive it without a window.
//
// Threads: user-interface thread only. A port error (ECommError) leaves the handler where it
// was raised, with State() showing how far it got.
#pragma once

#include "commtypes.h"
#include "portsettings.h"

#include <QString>

#include <array>
#include <optional>

class TCustomComm;

namespace duoterm {

enum class LabelColour { Red, Green };

struct LabelState {
    QString text;
    LabelColour colour = LabelColour::Red;
    bool operator==(const LabelState&) const = default;
};

// The modem label of a line: "CTS: YES" on green while the line is on, "CTS: NO" on red
// otherwise (DSR, RI and DCD alike).
LabelState ModemLabel(TModemLine line, bool on);

inline const QString kStatusClosed = QStringLiteral("COM - ПОРТ ЗАКРЫТ!!!");
inline const QString kStatusOpen = QStringLiteral("COM-порт ОТКРЫТ");
inline const QString kStatusOpenBang = QStringLiteral("COM-порт ОТКРЫТ!!!");
inline const QString kStatusNotConnected = QStringLiteral("Устройство не подключено! COM-порт ЗАКРЫТ");
// A port closed by its device's loss while reopening is on: it is tried again until it is back.
inline const QString kStatusWaiting = QStringLiteral("Ожидание устройства...");
inline const QString kDeviceLostMessage =
    QStringLiteral("COM-порт %1 отключён: устройство больше не отвечает. Порт закрыт.");
// A setting one port of the shared settings refused: the side ("Левый порт", "Правый порт"),
// its device and the component's error.
inline const QString kSettingRefusedMessage = QStringLiteral("%1 (%2) не принял настройку: %3");
inline const QString kLeftPort = QStringLiteral("Левый порт");
inline const QString kRightPort = QStringLiteral("Правый порт");

// The line-error counts of a port as its status label's tooltip shows them: the four counts
// since the open, "н/д" (not available) when the device keeps none, nothing while closed.
QString LineErrorsText(bool open, const std::optional<TLineErrorCounts>& counts);

struct PortPanelState {
    LabelState status{kStatusClosed, LabelColour::Red};
    bool openEnabled = true;   // disabled means the port is open
    bool closeEnabled = false;
    bool sendHexEnabled = true;
    bool dtr = false;
    bool rts = false;
    bool sameSettings = true;
    // The selected item of each setting selector, in kAllSettings order (-1: a rate no item
    // shows, typed into the rate box).
    std::array<int, 4> selected{};
    // The rate in effect, in bits per second.
    uint32_t speed = 0;
    // DSR, CTS, DCD, RI.
    LabelState dsr = ModemLabel(mlDSR, false);
    LabelState cts = ModemLabel(mlCTS, false);
    LabelState dcd = ModemLabel(mlRLSD, false);
    LabelState ri = ModemLabel(mlRing, false);
};

class TPortControl {
public:
    // side 1 is the left panel, 2 the right one; the port is configured as the window does
    // (device "Com1"/"Com2", 4800 baud, 8 data bits, no parity, 2 stop bits).
    TPortControl(int side, TCustomComm& port);
    void SetTwin(TPortControl* twin) { twin_ = twin; }

    int Side() const { return side_; }
    TCustomComm& Port() { return port_; }
    const PortPanelState& State() const { return state_; }
    bool IsOpenShown() const { return !state_.openEnabled; }

    // A port was chosen or typed (and confirmed) in the port selector: when it names another
    // device than the one in use, closes the port, takes the name as the device (a COM name in
    // any letter case, or a path) and reopens when the port was open. The same name, or an
    // empty text, changes nothing.
    void COMChange(const QString& text);
    // A setting selector's item was chosen (-1: none, the setting is kept).
    void SettingChange(Setting setting, int index);
    // A rate typed into the rate box (and confirmed): applied as a chosen one is, when it is a
    // whole number of bits per second other than the rate in effect; anything else changes
    // nothing. A rate the device refuses is raised, and the rate in effect before stays.
    void SpeedTyped(const QString& text);
    void SpeedChange(int index) { SettingChange(Setting::Speed, index); }
    void BITChange(int index) { SettingChange(Setting::Bits, index); }
    void chetnostChange(int index) { SettingChange(Setting::Parity, index); }
    void StopBitChange(int index) { SettingChange(Setting::StopBits, index); }
    // The "same settings" box was clicked to the given tick.
    void odinnastrClick(bool ticked);
    void OpenPortClick();
    void ClosePortClick();
    void DTRchekClick(bool ticked);
    void RTSchekClick(bool ticked);
    void CommCTS();
    void CommDSR();
    void CommRing();
    void CommRLSD();
    // The device went away while open: the port is closed and shown closed, and the error
    // that tells the user so is raised.
    void DeviceLost();
    // The status label of a closed port that waits for its device to come back (on), or the
    // closed one again (off; an open port keeps its label).
    void ShowWaiting(bool on);

private:
    void ShowClosed();
    // Opens the port with an input queue sized for its rate; a failed open leaves it closed.
    void OpenPort();
    void Reopen();
    // Closes the port, stores the value (none: the value kept), passes it to the twin when the
    // settings are shared, and reopens when the port was open. A value a port refuses is
    // taken back on that port, so that every port keeps what it had in effect.
    void ApplySetting(Setting setting, std::optional<uint32_t> value);
    // Takes a setting's value from the twin; the error text when the open port refused it, in
    // which case the value in effect before stays.
    std::optional<QString> TakeSetting(Setting setting, uint32_t value);
    // The refusal of a setting by this port, naming the port.
    QString Refusal(const QString& error) const;
    QStringList SameSettingsClick(bool ticked);
    // The selectors show the port's values.
    void ShowSettings();
    void RefreshLabel(TModemLine line, LabelState& label);

    int side_;
    TCustomComm& port_;
    TPortControl* twin_ = nullptr;
    PortPanelState state_;
};

}  // namespace duoterm
