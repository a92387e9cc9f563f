#include "exchangepanel.h"

#include "comm.h"
#include "errorbox.h"
#include "linefilters.h"
#include "portpanel.h"
#include "porttraffic.h"
#include "ui_tform3.h"

#include <QTimer>

#include <stdexcept>

namespace duoterm {

TExchangePanel::TExchangePanel(Ui::TForm3& ui, ExchangeSide side1, ExchangeSide side2, QObject* parent)
    : QObject(parent), ui_(ui), side1_(side1), side2_(side2)
{
    for (size_t i = 0; i < timers_.size(); ++i) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        // A pass lasts its delays and waits; coarse timers would stretch each of them.
        timer->setTimerType(Qt::PreciseTimer);
        const auto id = static_cast<TimerId>(i);
        connect(timer, &QTimer::timeout, this, [this, id] { RunHandler([&] { exchange_.TimerFired(id); }); });
        timers_[i] = timer;
    }
    for (const ExchangeSide* side : {&side1_, &side2_}) {
        TPortTraffic& traffic = side->traffic;
        traffic.onMessageWritten = [this](int s, const uint8_t* bytes, size_t count) {
            exchange_.MessageWritten(s, bytes, count);
        };
        traffic.exchangeTakesReceived = [this] { return exchange_.TakesReceived(); };
        traffic.onExchangeReceived = [this](int s, const uint8_t* bytes, size_t count) {
            exchange_.Received(s, bytes, count);
        };
    }
    for (QLineEdit* field : {ui_.TimeOzPriom, ui_.TimeOtvet, ui_.ciklperedPriom})
        InstallNumberKeyFilter(field);
    connect(ui_.ButtonObmen, &QPushButton::clicked, this, [this] { RunHandler([this] { ButtonObmenClick(); }); });
    connect(ui_.Button9, &QPushButton::clicked, this, &TExchangePanel::Button9Click);
}

void TExchangePanel::ButtonObmenClick()
{
    if (exchange_.Running()) {
        exchange_.Stop();
        return;
    }
    ExchangeFields fields{ui_.TimeOzPriom->text().toStdString(), ui_.TimeOtvet->text().toStdString(),
                          ui_.ciklperedPriom->text().toStdString(), {}, {}};
    // A character the code page lacks (pasted) goes as the encoder's stand-in, as in a manual send.
    To1251(ui_.EditPered->currentText(), fields.request1);
    To1251(ui_.EditPered2->currentText(), fields.request2);
    if (const auto error = exchange_.Start(fields))
        throw std::runtime_error(*error);
}

void TExchangePanel::PortLost()
{
    exchange_.PortLost();
}

void TExchangePanel::Button9Click()
{
    ui_.MemoInfo->clear();
}

void TExchangePanel::SendRequest(int side, const std::string& request1251)
{
    // The line's text became bytes once, at the start of the run.
    Side(side).traffic.SendHexRequest(request1251);
}

bool TExchangePanel::IsPortOpen(int side)
{
    return Side(side).comm.IsOpen();
}

void TExchangePanel::CollectReceived(int side)
{
    Side(side).traffic.CollectForExchange();
}

void TExchangePanel::AppendLog(const std::string& utf8Line)
{
    ui_.MemoInfo->appendPlainText(QString::fromStdString(utf8Line));
}

void TExchangePanel::ClearLog()
{
    ui_.MemoInfo->clear();
}

void TExchangePanel::SetProgress(int position)
{
    ui_.ProgressBar1->setValue(position);
}

void TExchangePanel::SetRunningUi(bool running)
{
    ui_.ButtonObmen->setText(QString::fromUtf8(running ? TExchange::kCaptionRunning : TExchange::kCaptionIdle));
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_.TimeOzPriom, ui_.TimeOtvet, ui_.ciklperedPriom, ui_.EditPered, ui_.EditPered2, ui_.COM1Panel,
             ui_.COM2Panel, ui_.Button10, ui_.Button11, ui_.Button12, ui_.Button13, ui_.Button14, ui_.Button15})
        control->setEnabled(!running);
    if (running) {
        side1_.panel.StopAutoSend();
        side2_.panel.StopAutoSend();
    }
}

void TExchangePanel::StartTimer(TimerId timer, int ms)
{
    timers_[static_cast<size_t>(timer)]->start(ms);
}

void TExchangePanel::StopTimer(TimerId timer)
{
    timers_[static_cast<size_t>(timer)]->stop();
}

}  // namespace duoterm
