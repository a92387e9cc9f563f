// Duoterm's main window: two port panels side by side over the exchange panel. It owns the
// two ports, restores the entry texts and discovers the ports at start, caps its size, and
// closes the ports and stores the entry texts when it closes.
//
// Threads: user-interface thread only; the ports' events arrive there by their wait threads'
// hand-over.
#pragma once

#include "capturecontrol.h"
#include "comm.h"
#include "exchangepanel.h"
#include "portcontrol.h"
#include "portpanel.h"
#include "presetslots.h"
#include "reopenhost.h"
#include "timeline.h"
#include "timelinewindow.h"
#include "savedtexts.h"

#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TForm3;
}

namespace duoterm {

class TForm1;

// Where the window finds its ports, the system's port names, its saved texts and its preset
// file; the defaults are the system's, and "save.ini" and "duoterm.ini" in the working folder.
struct TForm3Environment {
    TCommPortFactory ports;
    std::function<std::vector<std::string>()> portNames;
    QString savedTextsPath = kSavedTextsFile;
    QString presetsPath = kPresetsFile;
    // The file a capture goes to ("Записать в файл..."): the save dialog by default; an
    // empty path starts nothing.
    std::function<QString(QWidget* parent)> capturePath;
};

class TForm3 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm3(TForm3Environment environment = {}, QWidget* parent = nullptr);
    ~TForm3() override;

    Ui::TForm3& Form() { return *ui_; }
    TComm& Comm1() { return comm1_; }
    TComm& Comm2() { return comm2_; }
    TPortControl& Port(int side) { return side == 1 ? port1_ : port2_; }
    TPortTraffic& Traffic(int side) { return side == 1 ? traffic1_ : traffic2_; }
    // The clock label's text: the local date and time in the system's short date and long
    // time formats.
    static QString systemTimeText();
    TPortPanel& Panel(int side) { return side == 1 ? *panel1_ : *panel2_; }
    TExchangePanel& ExchangePanel() { return *exchangePanel_; }

    // The six entry lines in save.ini order.
    SavedTexts EntryTexts() const;
    void SetEntryTexts(const SavedTexts& texts);

    // The largest size the window takes: its panels plus margins.
    QSize SizeLimit() const;

    void N1Click();
    void N2Click() { close(); }
    // The capture menu: "Записать в файл..." asks for the file and starts; "Остановить
    // запись" stops.
    void ZapisVFailClick();
    void OstanovitZapisClick();
    TCaptureControl& Capture() { return capture_; }
    TReopenHost& Reopen(int side) { return side == 1 ? *reopen1_ : *reopen2_; }
    TTimeline& Timeline() { return *timeline_; }
    // The timeline window (menu "Окна"), made at its first opening.
    TTimelineWindow* TimelineWindow() const { return timelineWindow_; }
    void LentaObmenaClick();
    // The memory budget of each panel's receive store (the menu's "Память окон приёма...").
    void SetViewBudget(size_t bytes);
    size_t ViewBudget() const { return viewBudget_; }
    // The name and settings of a port, as the capture's port records give them.
    QString PortDetail(int side);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Gives captions that do not fit in the system's font the room they need.
    void FitCaptions();
    void PlaceClock();
    void FormCreate();
    void Comportname();
    void FormClose();
    void FormResize();
    void RenderPanels();
    void BindPortEvents(TComm& comm, TPortControl& control, TPortTraffic& traffic, TPortPanel& panel);
    void BindSlotButtons();
    void Timer3Timer();
    void CaptureTimer();
    void ShowCaptureState();
    void ShowTime(bool on);

    TForm3Environment environment_;
    std::unique_ptr<Ui::TForm3> ui_;
    TComm comm1_;
    TComm comm2_;
    TPortControl port1_;
    TPortControl port2_;
    TPortTraffic traffic1_;
    TPortTraffic traffic2_;
    std::unique_ptr<TPortPanel> panel1_;
    std::unique_ptr<TPortPanel> panel2_;
    std::unique_ptr<TExchangePanel> exchangePanel_;
    TCaptureControl capture_;
    std::unique_ptr<TReopenHost> reopen1_;
    std::unique_ptr<TReopenHost> reopen2_;
    QLabel* captureLabel_ = nullptr;
    QTimer* captureTimer_ = nullptr;
    size_t viewBudget_ = 0;
    std::unique_ptr<TTimeline> timeline_;
    TTimelineWindow* timelineWindow_ = nullptr;
    TForm1* about_ = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    bool closed_ = false;
};

}  // namespace duoterm
