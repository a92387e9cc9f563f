#include "portcontrol.h"

#include "comm.h"

#include "portdiscovery.h"

namespace duoterm {

namespace {

const char* LineName(TModemLine line)
{
    switch (line) {
    case mlCTS: return "CTS";
    case mlDSR: return "DSR";
    case mlRing: return "RI";
    case mlRLSD: return "DCD";
    }
    return "";
}

}  // namespace

LabelState ModemLabel(TModemLine line, bool on)
{
    return {QString::fromLatin1(LineName(line)) + (on ? QStringLiteral(": YES") : QStringLiteral(": NO")),
            on ? LabelColour::Green : LabelColour::Red};
}

TPortControl::TPortControl(int side, TCustomComm& port) : side_(side), port_(port)
{
    port_.SetDeviceName(side == 1 ? QStringLiteral("Com1") : QStringLiteral("Com2"));
    TCommEventType events{evCTS, evDSR, evRing, evRlsd, evRxChar, evTxEmpty};
    port_.SetMonitorEvents(side == 1 ? events : TCommEventType::All());
    port_.SetBaudRate(cbr4800);
    port_.SetStopbits(sb20);
    port_.SetWriteBufSize(4096);
    port_.SetCharsTimeOut(0);
    port_.SetOptions({});
    for (size_t i = 0; i < std::size(kAllSettings); ++i)
        state_.selected[i] = ItemOfValue(kAllSettings[i], SettingOf(port_, kAllSettings[i]));
}

void TPortControl::ShowClosed()
{
    state_.status = {kStatusClosed, LabelColour::Red};
    state_.openEnabled = true;
    state_.closeEnabled = false;
}

void TPortControl::OpenPort()
{
    if (!port_.IsOpen())
        port_.SetReadBufSize(InputQueueSize(port_.BaudRate()));
    port_.Open();
}

void TPortControl::Reopen()
{
    OpenPort();
    state_.status = {kStatusOpen, LabelColour::Green};
    state_.openEnabled = false;
    state_.closeEnabled = true;
    port_.PurgeInput();
}

void TPortControl::COMChange(const QString& text)
{
    const bool wasOpen = IsOpenShown();
    port_.Close();
    ShowClosed();
    if (IsSelectablePortName(text))
        port_.SetDeviceName(text);
    if (wasOpen)
        Reopen();
}

void TPortControl::SettingChange(Setting setting, int index)
{
    const bool wasOpen = IsOpenShown();
    port_.Close();
    ShowClosed();
    const size_t slot = static_cast<size_t>(setting);
    if (const auto value = ValueOfItem(setting, index)) {
        SetSetting(port_, setting, *value);
        state_.selected[slot] = index;
    }
    if (state_.sameSettings && twin_)
        CopySettingTo(*twin_, setting);
    if (wasOpen)
        Reopen();
}

void TPortControl::CopySettingTo(TPortControl& other, Setting setting)
{
    // An open twin takes the value into its driver at once, without a reopen.
    const int value = SettingOf(port_, setting);
    SetSetting(other.port_, setting, value);
    other.state_.selected[static_cast<size_t>(setting)] = ItemOfValue(setting, value);
}

void TPortControl::odinnastrClick(bool ticked)
{
    state_.sameSettings = ticked;
    if (!twin_)
        return;
    if (ticked) {
        for (Setting setting : kAllSettings)
            CopySettingTo(*twin_, setting);
    }
    // Like a box ticked in code, the twin's box runs its click only when its tick changes.
    twin_->SetSameSettingsTick(ticked);
}

void TPortControl::SetSameSettingsTick(bool ticked)
{
    if (state_.sameSettings != ticked)
        odinnastrClick(ticked);
}

void TPortControl::OpenPortClick()
{
    state_.status = {kStatusNotConnected, LabelColour::Red};
    OpenPort();
    if (side_ == 1)
        state_.status.text = kStatusOpen;
    DTRchekClick(state_.dtr);
    RTSchekClick(state_.rts);
    CommCTS();
    CommDSR();
    CommRing();
    CommRLSD();
    if (side_ == 2)
        state_.status.text = kStatusOpenBang;
    state_.status.colour = LabelColour::Green;
    state_.openEnabled = false;
    state_.closeEnabled = true;
    state_.sendHexEnabled = true;
}

void TPortControl::ClosePortClick()
{
    state_.openEnabled = true;
    state_.closeEnabled = false;
    port_.Close();
    state_.status = {kStatusClosed, LabelColour::Red};
    state_.sendHexEnabled = false;
}

void TPortControl::DeviceLost()
{
    const QString device = port_.DeviceName();
    ClosePortClick();
    throw std::runtime_error(kDeviceLostMessage.arg(device).toStdString());
}

void TPortControl::DTRchekClick(bool ticked)
{
    state_.dtr = ticked;
    port_.SetDTR(ticked);
}

void TPortControl::RTSchekClick(bool ticked)
{
    state_.rts = ticked;
    port_.SetRTS(ticked);
}

void TPortControl::RefreshLabel(TModemLine line, LabelState& label)
{
    label = ModemLabel(line, port_.ModemLineState(line));
}

void TPortControl::CommCTS() { RefreshLabel(mlCTS, state_.cts); }
void TPortControl::CommDSR() { RefreshLabel(mlDSR, state_.dsr); }
void TPortControl::CommRing() { RefreshLabel(mlRing, state_.ri); }
void TPortControl::CommRLSD() { RefreshLabel(mlRLSD, state_.dcd); }

}  // namespace duoterm
