#include "tform3.h"

#include "errorbox.h"
#include "linefilters.h"
#include "portdiscovery.h"
#include "sysinfo.h"
#include "tform1.h"
#include "ui_tform3.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLocale>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <stdexcept>

namespace duoterm {

namespace {

// Extra room below the exchange panel and beside the two port panels.
constexpr int kHeightMargin = 30;
constexpr int kWidthMargin = 50;

}  // namespace

TForm3::TForm3(TForm3Environment environment, QWidget* parent)
    : QMainWindow(parent),
      environment_(std::move(environment)),
      ui_(std::make_unique<Ui::TForm3>()),
      port1_(1, comm1_),
      port2_(2, comm2_),
      traffic1_(1, comm1_),
      traffic2_(2, comm2_)
{
    ui_->setupUi(this);
    FitCaptions();
    InstallPortExceptionSink();
    if (environment_.ports) {
        comm1_.SetPortFactory(environment_.ports);
        comm2_.SetPortFactory(environment_.ports);
    }
    if (!environment_.portNames)
        environment_.portNames = SystemPortNames;
    port1_.SetTwin(&port2_);
    port2_.SetTwin(&port1_);
    panel1_ = std::make_unique<TPortPanel>(ui_->COM1Panel, port1_, traffic1_);
    panel2_ = std::make_unique<TPortPanel>(ui_->COM2Panel, port2_, traffic2_);
    // Enter in either exchange line sends port 1's HEX line, as Enter in that line does.
    for (QComboBox* line : {ui_->EditPered, ui_->EditPered2}) {
        InstallHexKeyFilter(line, ui_->OtpravButton, [this] { panel1_->OtpravButtonClick(); });
        PrepareEntryLine(line, TEntryLineValidator::Kind::Hex);
    }
    // A handler of one panel may change the other (the shared settings).
    connect(panel1_.get(), &TPortPanel::Handled, this, &TForm3::RenderPanels);
    connect(panel2_.get(), &TPortPanel::Handled, this, &TForm3::RenderPanels);
    exchangePanel_ = std::make_unique<TExchangePanel>(*ui_, ExchangeSide{comm1_, traffic1_, *panel1_},
                                                      ExchangeSide{comm2_, traffic2_, *panel2_});
    timeline_ = std::make_unique<TTimeline>(std::array<const traffic::RxLog*, 4>{
        &traffic1_.Log(), &traffic1_.SentLog(), &traffic2_.Log(), &traffic2_.SentLog()});
    for (TPortTraffic* traffic : {&traffic1_, &traffic2_}) {
        traffic->betweenPieces = [this] {
            traffic1_.TakeWaiting();
            traffic2_.TakeWaiting();
        };
        traffic->onStored = [this](int side, bool sent) {
            timeline_->Stored(side == 1 ? (sent ? TimelineSource::Sent1 : TimelineSource::Received1)
                                        : (sent ? TimelineSource::Sent2 : TimelineSource::Received2));
        };
    }
    reopen1_ = std::make_unique<TReopenHost>(port1_, this);
    reopen2_ = std::make_unique<TReopenHost>(port2_, this);
    BindPortEvents(comm1_, port1_, traffic1_, *panel1_);
    BindPortEvents(comm2_, port2_, traffic2_, *panel2_);
    BindSlotButtons();

    Timer1 = new QTimer(this);
    Timer2 = new QTimer(this);
    Timer3 = new QTimer(this);
    Timer1->setInterval(50);
    Timer2->setInterval(50);
    Timer3->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { RunHandler([this] { panel1_->DisplayTick(); }); });
    connect(Timer2, &QTimer::timeout, this, [this] { RunHandler([this] { panel2_->DisplayTick(); }); });
    connect(Timer3, &QTimer::timeout, this, &TForm3::Timer3Timer);
    Timer1->start();
    Timer2->start();
    Timer3->start();

    connect(ui_->N1, &QAction::triggered, this, &TForm3::N1Click);
    connect(ui_->N2, &QAction::triggered, this, &TForm3::N2Click);
    connect(ui_->ZapisVFail, &QAction::triggered, this, &TForm3::ZapisVFailClick);
    connect(ui_->OstanovitZapis, &QAction::triggered, this, &TForm3::OstanovitZapisClick);
    connect(ui_->Perepodkluchat, &QAction::toggled, this, [this](bool on) {
        reopen1_->Policy().SetEnabled(on);
        reopen2_->Policy().SetEnabled(on);
        RenderPanels();
    });
    connect(ui_->VremyaPriema, &QAction::toggled, this, &TForm3::ShowTime);
    connect(ui_->LentaObmena, &QAction::triggered, this, &TForm3::LentaObmenaClick);
    SetViewBudget(DefaultViewBudget(platform::sysinfo::PhysicalMemoryBytes()));
    connect(ui_->PamyatOkon, &QAction::triggered, this, [this] {
        bool ok = false;
        const int mb = QInputDialog::getInt(
            this, QStringLiteral("Память окон приёма"),
            QStringLiteral("Память окон приёма каждого порта, МБ\n(старые данные уходят из окон, запись в файл "
                           "хранит всё):"),
            static_cast<int>(viewBudget_ >> 20), 1, 1 << 20, 1, &ok);
        if (ok)
            SetViewBudget(static_cast<size_t>(mb) << 20);
    });
    // The writer's failure is looked for four times a second while a capture runs.
    captureTimer_ = new QTimer(this);
    captureTimer_->setInterval(250);
    connect(captureTimer_, &QTimer::timeout, this, &TForm3::CaptureTimer);
    captureLabel_ = new QLabel(this);
    captureLabel_->setObjectName(QStringLiteral("captureLabel"));
    captureLabel_->setContentsMargins(4, 0, 6, 0);
    menuBar()->setCornerWidget(captureLabel_, Qt::TopRightCorner);
    ShowCaptureState();
    about_ = new TForm1(this);
    FormCreate();
}

TForm3::~TForm3()
{
    capture_.Stop();
    delete timelineWindow_;  // before the timeline it shows
    // The ports close before the controls their handlers paint go away.
    comm1_.Close();
    comm2_.Close();
}

void TForm3::BindPortEvents(TComm& comm, TPortControl& control, TPortTraffic& traffic, TPortPanel& panel)
{
    const int side = control.Side();
    TReopenHost& reopen = Reopen(side);
    traffic.onReadChunk = [this](int s, const uint8_t* bytes, size_t count) { capture_.Received(s, bytes, count); };
    traffic.onWrittenChunk = [this](int s, const uint8_t* bytes, size_t count) { capture_.Sent(s, bytes, count); };
    panel.onManualAction = [&reopen] { reopen.Policy().ManualAction(); };
    reopen.onReopened = [this, side] {
        capture_.PortReopened(side, PortDetail(side));
        RenderPanels();
    };
    // Only the labels: a port the attempt just opened is recorded as reopened, right after.
    reopen.onStateChanged = [this] {
        panel1_->Render();
        panel2_->Render();
    };
    comm.OnRxChar = [&traffic](QObject*, int count) { traffic.RxChar(count); };
    comm.OnTxEmpty = [&panel](QObject*) { panel.CommTxEmpty(); };
    auto refresh = [this, &control](void (TPortControl::*handler)()) {
        return [this, &control, handler](QObject*) {
            // An error here ends the handler and reaches the error box through the port's
            // exception sink.
            struct Repaint {
                TForm3* form;
                ~Repaint() { form->RenderPanels(); }
            } repaint{this};
            (control.*handler)();
        };
    };
    comm.OnCTS = refresh(&TPortControl::CommCTS);
    comm.OnDSR = refresh(&TPortControl::CommDSR);
    comm.OnRing = refresh(&TPortControl::CommRing);
    comm.OnRLSD = refresh(&TPortControl::CommRLSD);
    // A port that goes away is closed with its error box; a run of the exchange stops there
    // (its log names the closed port) before the panels are painted again.
    // With reopening on, the port then waits for its device; the capture records the loss.
    comm.OnDeviceLost = [this, &control, &reopen, side](QObject*) {
        struct StopAndRepaint {
            TForm3* form;
            TReopenHost& reopen;
            int side;
            QString detail;
            ~StopAndRepaint()
            {
                form->capture_.PortLost(side, detail);
                form->exchangePanel_->PortLost();
                reopen.Policy().DeviceLost();
                form->RenderPanels();
            }
        } stop{this, reopen, side, PortDetail(side)};
        control.DeviceLost();
    };
}

void TForm3::BindSlotButtons()
{
    // Each button loads its slot into the lists of its panel's two lines, or of its exchange line.
    struct SlotButtons {
        std::array<QPushButton*, 3> buttons;
        QComboBox* hexLine;
        QComboBox* asciiLine;
    };
    const SlotButtons targets[] = {
        {panel1_->slotButtons, ui_->otpravedit, ui_->otpraveditASCCI},
        {panel2_->slotButtons, ui_->otpravedit2, ui_->otpraveditASCCI2},
        {{ui_->Button10, ui_->Button11, ui_->Button12}, ui_->EditPered, nullptr},
        {{ui_->Button13, ui_->Button14, ui_->Button15}, ui_->EditPered2, nullptr},
    };
    for (const SlotButtons& target : targets) {
        for (int slot = 1; slot <= 3; ++slot) {
            connect(target.buttons[static_cast<size_t>(slot - 1)], &QPushButton::clicked, this,
                    [this, slot, hexLine = target.hexLine, asciiLine = target.asciiLine] {
                        RunHandler([&] { LoadPresetSlot(environment_.presetsPath, slot, hexLine, asciiLine); });
                    });
        }
    }
}

QString TForm3::systemTimeText()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    // The long time format without the time zone.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(now.time(), timeFormat.trimmed());
}

void TForm3::FitCaptions()
{
    // The designed positions and sizes stay where the captions fit in the system's font; a
    // caption that does not (Windows' Tahoma is wider than the design's font) gets the room
    // it needs. The exchange's left captions widen, moving the fields right of them along.
    const int needed = std::max({ui_->Label18->sizeHint().width(), ui_->Label20->sizeHint().width(),
                                 ui_->Label22->sizeHint().width()});
    const int widen = needed - ui_->Label20->width();
    if (widen > 0) {
        const int right = ui_->Label20->geometry().right();
        for (QLabel* label : {ui_->Label18, ui_->Label20, ui_->Label22})
            label->resize(needed, label->height());
        for (QWidget* field : {static_cast<QWidget*>(ui_->TimeOzPriom), static_cast<QWidget*>(ui_->TimeOtvet),
                               static_cast<QWidget*>(ui_->ciklperedPriom), static_cast<QWidget*>(ui_->Label19),
                               static_cast<QWidget*>(ui_->Label21), static_cast<QWidget*>(ui_->Label23)})
            if (field->x() > right)
                field->move(field->x() + widen, field->y());
    }
    if (ui_->Label23->sizeHint().width() > ui_->Label23->width())
        ui_->Label23->resize(ui_->Label23->sizeHint().width(), ui_->Label23->height());
    // The start button and the bar under it keep their right edge and grow to the left.
    const int button = ui_->ButtonObmen->sizeHint().width() + 8;
    if (button > ui_->ButtonObmen->width()) {
        for (QWidget* w : {static_cast<QWidget*>(ui_->ButtonObmen), static_cast<QWidget*>(ui_->ProgressBar1)})
            w->setGeometry(w->geometry().right() + 1 - button, w->y(), button, w->height());
    }
    PlaceClock();
}

void TForm3::PlaceClock()
{
    // "Системное время:" and the clock one after the other, a space apart, wholly inside the
    // panel: the pair moves left when the locale's date and time are longer than designed.
    QLabel* caption = ui_->Label25;
    QLabel* clock = ui_->SystemTimeCaption;
    constexpr int kDesignedX = 600, kDesignedWidth = 92;
    const int space = caption->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const int captionWidth = std::max(kDesignedWidth, caption->sizeHint().width() + space);
    const int clockWidth = std::max(kDesignedWidth, clock->sizeHint().width());
    const int limit = clock->parentWidget()->width() - 4;
    const int x = std::min(kDesignedX, limit - clockWidth - captionWidth);
    caption->setGeometry(x, caption->y(), captionWidth, caption->height());
    clock->setGeometry(x + captionWidth, clock->y(), clockWidth, clock->height());
}

void TForm3::Timer3Timer()
{
    ui_->SystemTimeCaption->setText(systemTimeText());
    PlaceClock();
    RunHandler([this] {
        port1_.CommRing();
        port2_.CommRing();
    });
    // The line-error counts: in the status label's tooltip, and into the capture when they
    // change.
    for (int side : {1, 2}) {
        TComm& comm = side == 1 ? comm1_ : comm2_;
        const bool open = comm.IsOpen();
        const auto counts = open ? comm.LineErrorCounts() : std::nullopt;
        if (open)
            capture_.LineErrors(side, counts);
        Panel(side).status->setToolTip(LineErrorsText(open, counts));
    }
    RenderPanels();
}

void TForm3::RenderPanels()
{
    panel1_->Render();
    panel2_->Render();
    // An open or close by any handler becomes a record of the capture.
    capture_.PortState(1, comm1_.IsOpen() && port1_.IsOpenShown(), PortDetail(1));
    capture_.PortState(2, comm2_.IsOpen() && port2_.IsOpenShown(), PortDetail(2));
}

QString TForm3::PortDetail(int side)
{
    TComm& comm = side == 1 ? comm1_ : comm2_;
    static const char parity[] = {'N', 'O', 'E', 'M', 'S'};
    static const char* const stops[] = {"1", "1.5", "2"};
    return QStringLiteral("%1 %2 %3%4%5")
        .arg(comm.DeviceName())
        .arg(comm.BaudRateBps())
        .arg(static_cast<int>(comm.Databits()) + 4)
        .arg(QLatin1Char(parity[std::min<size_t>(comm.Parity(), 4)]))
        .arg(QLatin1String(stops[std::min<size_t>(comm.Stopbits(), 2)]));
}

void TForm3::ZapisVFailClick()
{
    QString path = environment_.capturePath
                       ? environment_.capturePath(this)
                       : QFileDialog::getSaveFileName(this, QStringLiteral("Записать в файл"),
                                                      QStringLiteral("capture.txt"),
                                                      QStringLiteral("Запись обмена (*.txt);;Все файлы (*)"));
    if (path.isEmpty())
        return;
    const QString error = capture_.Start(path);
    if (error.isEmpty()) {
        RenderPanels();  // the ports open now are recorded first
        captureTimer_->start();
    }
    ShowCaptureState();
    if (!error.isEmpty())
        RunHandler([&] { throw std::runtime_error(error.toStdString()); });
}

void TForm3::OstanovitZapisClick()
{
    capture_.Stop();
    captureTimer_->stop();
    ShowCaptureState();
}

void TForm3::CaptureTimer()
{
    const auto error = capture_.TakeError();
    if (!capture_.Running())
        captureTimer_->stop();
    ShowCaptureState();
    if (error)
        RunHandler([&] { throw std::runtime_error(error->toStdString()); });
}

void TForm3::ShowCaptureState()
{
    const bool running = capture_.Running();
    ui_->OstanovitZapis->setEnabled(running);
    captureLabel_->setText(running ? QStringLiteral("● Запись: %1").arg(QFileInfo(capture_.Path()).fileName())
                                   : QString());
    captureLabel_->setToolTip(running ? capture_.Path() : QString());
    captureLabel_->setStyleSheet(running ? QStringLiteral("color: rgb(192, 0, 0);") : QString());
    // Showing or hiding a corner widget lays the menu bar out again for the label's new width.
    captureLabel_->adjustSize();
    captureLabel_->setVisible(false);
    captureLabel_->setVisible(running);
}

void TForm3::LentaObmenaClick()
{
    if (!timelineWindow_)
        timelineWindow_ = new TTimelineWindow(*timeline_, this);
    timelineWindow_->show();
    timelineWindow_->raise();
    timelineWindow_->activateWindow();
}

void TForm3::SetViewBudget(size_t bytes)
{
    viewBudget_ = bytes;
    for (int side : {1, 2}) {
        Traffic(side).SetViewBudget(bytes);
        Panel(side).dataHex->Sync();
        Panel(side).dataAscii->Sync();
    }
}

void TForm3::ShowTime(bool on)
{
    for (TPortPanel* panel : {panel1_.get(), panel2_.get()}) {
        panel->hexModel->SetShowTime(on);
        panel->charModel->SetShowTime(on);
        panel->dataHex->Relayout();
        panel->dataAscii->Relayout();
    }
}

SavedTexts TForm3::EntryTexts() const
{
    return {ui_->otpravedit->currentText(),  ui_->otpraveditASCCI->currentText(),
            ui_->otpravedit2->currentText(), ui_->otpraveditASCCI2->currentText(),
            ui_->EditPered->currentText(),   ui_->EditPered2->currentText()};
}

void TForm3::SetEntryTexts(const SavedTexts& texts)
{
    QComboBox* lines[] = {ui_->otpravedit,  ui_->otpraveditASCCI, ui_->otpravedit2,
                          ui_->otpraveditASCCI2, ui_->EditPered,  ui_->EditPered2};
    for (size_t i = 0; i < texts.size(); ++i)
        lines[i]->setEditText(texts[i]);
}

void TForm3::FormCreate()
{
    // No file yet (a first start) restores nothing; a file that cannot be read is reported,
    // and the ports are discovered either way.
    RunHandler([this] {
        const SavedTextsRead read = ReadSavedTexts(environment_.savedTextsPath);
        if (!read.error.isEmpty())
            throw std::runtime_error(read.error.toStdString());
        SetEntryTexts(read.texts);
    });
    RunHandler([this] { Comportname(); });
    RenderPanels();
}

void TForm3::Comportname()
{
    const PortChoice choice = ChoosePorts(environment_.portNames());
    if (choice.items.isEmpty())
        return;
    {
        const QSignalBlocker quiet1(ui_->COM);
        const QSignalBlocker quiet2(ui_->COM2);
        ui_->COM->clear();
        ui_->COM2->clear();
        ui_->COM->addItems(choice.items);
        ui_->COM2->addItems(choice.items);
        // The item that shows a port is also the one selected, so that leaving the box finds
        // nothing to change.
        for (auto [box, text] : {std::pair{ui_->COM, choice.port1.isEmpty() ? QString() : choice.port1},
                                 std::pair{ui_->COM2, choice.port2.isEmpty() ? QStringLiteral("COM2") : choice.port2}}) {
            box->setCurrentIndex(box->findText(text));
            box->setEditText(text);
        }
    }
    port1_.COMChange(ui_->COM->currentText());
    port2_.COMChange(ui_->COM2->currentText());
}

void TForm3::N1Click()
{
    about_->exec();
}

void TForm3::FormClose()
{
    comm1_.Close();
    comm2_.Close();
    RenderPanels();  // the capture records the closes
    OstanovitZapisClick();
    RunHandler([this] {
        const QString error = WriteSavedTexts(environment_.savedTextsPath, EntryTexts());
        if (!error.isEmpty())
            throw std::runtime_error(error.toStdString());
    });
}

void TForm3::closeEvent(QCloseEvent* event)
{
    // The window closes even when the texts could not be stored: the user has been told, and
    // a window that refuses to close could not be ended at all.
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    event->accept();
}

QSize TForm3::SizeLimit() const
{
    const int height = ui_->automatPered->geometry().bottom() + 1 + menuBar()->height() + kHeightMargin;
    const int width = ui_->COM1Panel->width() + ui_->COM2Panel->width() + kWidthMargin;
    // The width counts the window's frame as well.
    const int frame = frameGeometry().width() - geometry().width();
    return {width - frame, height};
}

void TForm3::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm3::FormResize()
{
    const QSize limit = SizeLimit();
    if (width() > limit.width() || height() > limit.height())
        resize(std::min(width(), limit.width()), std::min(height(), limit.height()));
}

}  // namespace duoterm
