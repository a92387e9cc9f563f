// The window's automatic exchange panel: the exchange's host (four single-shot timers, the log
// memo, the progress bar, the running state of the window's controls, the two sides' sends and
// ports) and the panel's start/stop and clear buttons and number fields. The exchange itself
// is the plain unit TExchange; this binds it to the controls and to the two sides' traffic.
//
// Threads: user-interface thread only; the timers, the buttons and the ports' hand-overs all
// reach the exchange there.
#pragma once

#include "exchange.h"

#include <QObject>

#include <array>

class QTimer;
class TCustomComm;

namespace Ui {
class TForm3;
}

namespace duoterm {

class TPortPanel;
class TPortTraffic;

// One side of the exchange as the window has it.
struct ExchangeSide {
    TCustomComm& comm;
    TPortTraffic& traffic;
    TPortPanel& panel;
};

class TExchangePanel : public QObject, public ExchangeHost {
    Q_OBJECT
public:
    // Binds the panel's controls and hooks the exchange into both sides' sending and receiving.
    TExchangePanel(Ui::TForm3& ui, ExchangeSide side1, ExchangeSide side2, QObject* parent = nullptr);

    TExchange& Exchange() { return exchange_; }

    // The start/stop button: a start whose fields are wrong throws the message for the error box.
    void ButtonObmenClick();
    void Button9Click();
    // A port has gone away (and is closed): a run stops, as by the button.
    void PortLost();

    // ExchangeHost
    void SendRequest(int side, const std::string& request1251) override;
    bool IsPortOpen(int side) override;
    void CollectReceived(int side) override;
    void AppendLog(const std::string& utf8Line) override;
    void ClearLog() override;
    void SetProgress(int position) override;
    void SetRunningUi(bool running) override;
    void StartTimer(TimerId timer, int ms) override;
    void StopTimer(TimerId timer) override;

private:
    const ExchangeSide& Side(int side) const { return side == 2 ? side2_ : side1_; }

    Ui::TForm3& ui_;
    ExchangeSide side1_;
    ExchangeSide side2_;
    std::array<QTimer*, 4> timers_{};  // by TimerId
    TExchange exchange_{*this};
};

}  // namespace duoterm
