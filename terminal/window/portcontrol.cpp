#include "portcontrol.h"

#include "comm.h"

#include "portdiscovery.h"

#include <QRegularExpression>
#include <QStringList>

namespace duoterm {

namespace {

// A setting's value as the panel compares, copies and restores it: the rate in bits per
// second (any rate the device takes), the others by their enumeration ordinal.
uint32_t ValueOf(const TCustomComm& port, Setting setting)
{
    return setting == Setting::Speed ? port.BaudRateBps() : static_cast<uint32_t>(SettingOf(port, setting));
}

void Put(TCustomComm& port, Setting setting, uint32_t value)
{
    if (setting == Setting::Speed)
        port.SetBaudRateBps(value);
    else
        SetSetting(port, setting, static_cast<int>(value));
}

int ItemOf(Setting setting, uint32_t value)
{
    if (setting != Setting::Speed)
        return ItemOfValue(setting, static_cast<int>(value));
    for (int rate = cbr110; rate <= cbr256000; ++rate)
        if (TCustomComm::BaudRateValue(static_cast<TBaudRate>(rate)) == value)
            return ItemOfValue(setting, rate);
    return -1;
}

// Two names for the same port: equal, or the same COM name in another letter case.
bool SamePort(const QString& a, const QString& b)
{
    static const QRegularExpression com(QStringLiteral(R"(^(\\\\\.\\)?COM[0-9]+$)"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (a == b)
        return true;
    return com.match(a).hasMatch() && com.match(b).hasMatch() && a.compare(b, Qt::CaseInsensitive) == 0;
}

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
    ShowSettings();
}

void TPortControl::ShowSettings()
{
    for (size_t i = 0; i < std::size(kAllSettings); ++i)
        state_.selected[i] = ItemOf(kAllSettings[i], ValueOf(port_, kAllSettings[i]));
    state_.speed = port_.BaudRateBps();
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
    try {
        port_.Open();
    } catch (...) {
        // A device that opened but refused its settings is not left open behind a panel
        // that shows it closed.
        port_.Close();
        throw;
    }
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
    const QString name = text.trimmed();
    if (name.isEmpty())
        return;
    if (SamePort(name, port_.DeviceName())) {
        if (!port_.IsOpen())
            port_.SetDeviceName(name);  // the same port, spelled as the box shows it
        return;
    }
    const bool wasOpen = IsOpenShown();
    port_.Close();
    ShowClosed();
    port_.SetDeviceName(name);
    if (wasOpen)
        Reopen();
}

void TPortControl::SettingChange(Setting setting, int index)
{
    const auto value = ValueOfItem(setting, index);
    if (value && setting == Setting::Speed)
        ApplySetting(setting, TCustomComm::BaudRateValue(static_cast<TBaudRate>(*value)));
    else if (value)
        ApplySetting(setting, static_cast<uint32_t>(*value));
    else
        ApplySetting(setting, std::nullopt);
}

void TPortControl::SpeedTyped(const QString& text)
{
    bool number = false;
    const uint32_t rate = text.trimmed().toUInt(&number);
    if (!number || rate == 0 || rate == port_.BaudRateBps())
        return;
    ApplySetting(Setting::Speed, rate);
}

void TPortControl::ApplySetting(Setting setting, std::optional<uint32_t> value)
{
    const bool wasOpen = IsOpenShown();
    const uint32_t before = ValueOf(port_, setting);
    const bool shared = state_.sameSettings && twin_;
    port_.Close();
    ShowClosed();
    if (value)
        Put(port_, setting, *value);  // closed: only stored
    QStringList refusals;
    if (shared) {
        if (const auto refused = twin_->TakeSetting(setting, ValueOf(port_, setting)))
            refusals << twin_->Refusal(*refused);
    }
    struct Show {
        TPortControl* control;
        ~Show()
        {
            control->ShowSettings();
            if (control->twin_)
                control->twin_->ShowSettings();
        }
    } show{this};
    if (wasOpen) {
        try {
            Reopen();
        } catch (const ECommError& error) {
            // The device refused the value: back to the one it had, and open again with it.
            Put(port_, setting, before);
            refusals << (shared ? Refusal(QString::fromUtf8(error.what())) : QString::fromUtf8(error.what()));
            Reopen();
        }
    }
    if (!refusals.isEmpty())
        throw std::runtime_error(refusals.join(QLatin1Char('\n')).toStdString());
}

std::optional<QString> TPortControl::TakeSetting(Setting setting, uint32_t value)
{
    // An open port takes the value into its driver at once, without a reopen.
    const uint32_t before = ValueOf(port_, setting);
    try {
        Put(port_, setting, value);
    } catch (const ECommError& error) {
        try {
            Put(port_, setting, before);
        } catch (const ECommError&) {
            // The value before was in effect; the driver still has it.
        }
        return QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

QString TPortControl::Refusal(const QString& error) const
{
    return kSettingRefusedMessage.arg(side_ == 1 ? kLeftPort : kRightPort, port_.DeviceName(), error.trimmed());
}

void TPortControl::odinnastrClick(bool ticked)
{
    const QStringList refusals = SameSettingsClick(ticked);
    ShowSettings();
    if (twin_)
        twin_->ShowSettings();
    if (!refusals.isEmpty())
        throw std::runtime_error(refusals.join(QLatin1Char('\n')).toStdString());
}

QStringList TPortControl::SameSettingsClick(bool ticked)
{
    state_.sameSettings = ticked;
    if (!twin_)
        return {};
    QStringList refusals;
    if (ticked) {
        for (Setting setting : kAllSettings)
            if (const auto refused = twin_->TakeSetting(setting, ValueOf(port_, setting)))
                refusals << twin_->Refusal(*refused);
    }
    // Like a box ticked in code, the twin's box runs its click only when its tick changes; it
    // copies the twin's values back, so that a value the twin refused is not kept here either.
    if (twin_->state_.sameSettings != ticked)
        refusals += twin_->SameSettingsClick(ticked);
    return refusals;
}

void TPortControl::OpenPortClick()
{
    state_.status = {kStatusNotConnected, LabelColour::Red};
    OpenPort();
    try {
        if (side_ == 1)
            state_.status.text = kStatusOpen;
        DTRchekClick(state_.dtr);
        RTSchekClick(state_.rts);
        CommCTS();
        CommDSR();
        CommRing();
        CommRLSD();
    } catch (...) {
        // A port whose lines could not be set is closed again, as the panel shows it.
        port_.Close();
        state_.status = {kStatusNotConnected, LabelColour::Red};
        throw;
    }
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

QString LineErrorsText(bool open, const std::optional<TLineErrorCounts>& counts)
{
    if (!open)
        return {};
    if (!counts)
        return QStringLiteral("Ошибки линии: н/д (устройство не ведёт счёт)");
    return QStringLiteral("Ошибки линии с открытия: кадр %1, чётность %2, переполнение %3, BREAK %4")
        .arg(counts->framing)
        .arg(counts->parity)
        .arg(counts->overrun)
        .arg(counts->breaks);
}

void TPortControl::ShowWaiting(bool on)
{
    if (IsOpenShown())
        return;
    state_.status = {on ? kStatusWaiting : kStatusClosed, LabelColour::Red};
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
