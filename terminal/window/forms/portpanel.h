// A port panel of the window: binds the controls of the left or the right panel (found by
// their object names, which differ between the twins) to the panel's TPortControl, passes the
// user's actions in and shows the control's state. One class serves both twins.
//
// Threads: user-interface thread only.
#pragma once

#include "portcontrol.h"
#include "porttraffic.h"
#include "finddialog.h"
#include "rxview.h"

#include <QObject>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace duoterm {

class TPortPanel : public QObject {
    Q_OBJECT
public:
    // Binds the controls inside panel (COM1Panel for side 1, COM2Panel for side 2).
    TPortPanel(QFrame* panel, TPortControl& control, TPortTraffic& traffic);

    // Shows the control's state in the controls.
    void Render();
    // The display tick: shows what arrived since the last one.
    void DisplayTick();
    // The HEX send action of this side (the button, and Enter in a HEX line).
    void OtpravButtonClick();
    // The port's transmit-empty event: auto-send repeats the last send with the lines' texts.
    void CommTxEmpty();
    // Unticks the auto-send box and switches auto-send off (the exchange's start).
    void StopAutoSend();

    // Before the user opens or closes the port or changes its device or a setting (the end of
    // a wait for a lost device).
    std::function<void()> onManualAction;

    // The panel's controls by role.
    QFrame* panel;
    QPushButton *openPort, *closePort, *sendHex, *sendAscii, *clear, *nastr, *closeNastr;
    std::array<QPushButton*, 3> slotButtons;
    QComboBox *com, *hexLine, *asciiLine;
    std::array<QComboBox*, 4> selectors;  // in kAllSettings order
    QLabel *status, *dsr, *cts, *dcd, *ri;
    QCheckBox *sameSettings, *dtr, *rts, *autoSend, *vk;
    QFrame* settingsPanel;
    TRxView *dataHex, *dataAscii;
    std::unique_ptr<TRxModel> hexModel, charModel;
    TFindDialog* find;  // Ctrl+F in either view

signals:
    // After every handler of this panel has run (also when it failed).
    void Handled();

private:
    template <typename F>
    void Handle(F&& handler);
    // The rate box shows the rate in effect.
    void ShowSpeed();
    void ManualAction();

    TPortControl& control_;
    TPortTraffic& traffic_;
    uint32_t shownSpeed_ = 0;
};

// Paints a status or modem label in the window's font. A label that keeps its designed width
// (the modem labels, which sit side by side without a gap) gets a smaller font where its text
// would fill it, so that "DSR: YES" and the "CTS: YES" beside it never read as one.
enum class LabelWidth { Grows, Kept };
void ShowLabel(QLabel* label, const LabelState& state, LabelWidth width = LabelWidth::Grows);

}  // namespace duoterm
