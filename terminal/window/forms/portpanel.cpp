#include "portpanel.h"

#include "comm.h"
#include "errorbox.h"
#include "linefilters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace duoterm {

namespace {

// Finds the control of a twin: the first name on the left panel, the second on the right.
template <typename T>
T* Find(QFrame* panel, int side, const char* left, const char* right)
{
    const QString name = QString::fromLatin1(side == 1 ? left : right);
    T* widget = panel->findChild<T*>(name);
    Q_ASSERT_X(widget, "TPortPanel", qPrintable(name));
    return widget;
}

}  // namespace

void ShowLabel(QLabel* label, const LabelState& state, LabelWidth width)
{
    label->setText(state.text);
    // A label with a style sheet of its own is drawn in the application's font, not the
    // window's (9 points instead of the designed 8 on Linux, which runs the modem labels into
    // each other), so it is given the window's font outright.
    QFont font = label->parentWidget() ? label->parentWidget()->font() : label->font();
    if (width == LabelWidth::Kept) {
        constexpr int kGap = 4;  // pixels left free at the right, before the next label
        const int room = label->width() - kGap;
        for (int pixels = QFontInfo(font).pixelSize();
             room > 0 && pixels > 6 && QFontMetrics(font).horizontalAdvance(state.text) > room;)
            font.setPixelSize(--pixels);
    }
    label->setFont(font);
    label->setStyleSheet(state.colour == LabelColour::Green ? QStringLiteral("background-color: rgb(0, 128, 0);")
                                                            : QStringLiteral("background-color: rgb(255, 0, 0);"));
}

TPortPanel::TPortPanel(QFrame* panel, TPortControl& control, TPortTraffic& traffic)
    : panel(panel), control_(control), traffic_(traffic)
{
    const int s = control.Side();
    openPort = Find<QPushButton>(panel, s, "OpenPort", "OpenPort2");
    closePort = Find<QPushButton>(panel, s, "ClosePort", "ClosePort2");
    sendHex = Find<QPushButton>(panel, s, "OtpravButton", "OtpravButton2");
    sendAscii = Find<QPushButton>(panel, s, "OtpravButtonASCCI", "OtpravButtonASCCI2");
    clear = Find<QPushButton>(panel, s, "Button7", "Button8");
    nastr = Find<QPushButton>(panel, s, "NastrCom1", "NastrCom2");
    closeNastr = Find<QPushButton>(panel, s, "CloseNastrCom1panel", "CloseNastrCom2panel");
    slotButtons = {Find<QPushButton>(panel, s, "Button1", "Button4"),
                   Find<QPushButton>(panel, s, "Button2", "Button5"),
                   Find<QPushButton>(panel, s, "Button3", "Button6")};
    com = Find<QComboBox>(panel, s, "COM", "COM2");
    hexLine = Find<QComboBox>(panel, s, "otpravedit", "otpravedit2");
    asciiLine = Find<QComboBox>(panel, s, "otpraveditASCCI", "otpraveditASCCI2");
    selectors = {Find<QComboBox>(panel, s, "Speed", "Speed2"), Find<QComboBox>(panel, s, "BIT", "BIT2"),
                 Find<QComboBox>(panel, s, "chetnost", "chetnost2"),
                 Find<QComboBox>(panel, s, "StopBit", "StopBit2")};
    status = Find<QLabel>(panel, s, "opovesch", "opovesch2");
    dsr = Find<QLabel>(panel, s, "DSR111", "DSR222");
    cts = Find<QLabel>(panel, s, "CTS111", "CTS222");
    dcd = Find<QLabel>(panel, s, "DCD111", "DCD222");
    ri = Find<QLabel>(panel, s, "RI111", "RI222");
    sameSettings = Find<QCheckBox>(panel, s, "odinnastr", "odinnastr2");
    dtr = Find<QCheckBox>(panel, s, "DTR1chek", "DTR2chek");
    rts = Find<QCheckBox>(panel, s, "RTS1chek", "RTS2chek");
    autoSend = Find<QCheckBox>(panel, s, "autootpravchek", "autootpravchek2");
    vk = Find<QCheckBox>(panel, s, "VKcheck", "VKcheck2");
    settingsPanel = Find<QFrame>(panel, s, "NastrCOM1Panel", "NastrCOM2Panel");
    dataHex = Find<TRxView>(panel, s, "dataHex", "dataHex2");
    dataAscii = Find<TRxView>(panel, s, "dataASCCI", "dataASCCI2");
    hexModel = std::make_unique<TRxModel>(traffic.Log(), TRxModel::View::Hex);
    charModel = std::make_unique<TRxModel>(traffic.Log(), TRxModel::View::Chars);
    dataHex->SetModel(hexModel.get());
    dataAscii->SetModel(charModel.get());
    find = new TFindDialog(traffic.Log(), dataHex, dataAscii,
                           s == 1 ? QStringLiteral("Поиск: левый порт") : QStringLiteral("Поиск: правый порт"),
                           panel->window());
    find->setObjectName(s == 1 ? QStringLiteral("findDialog1") : QStringLiteral("findDialog2"));
    connect(dataHex, &TRxView::FindRequested, this, [this] { find->Open(true); });
    connect(dataAscii, &TRxView::FindRequested, this, [this] { find->Open(false); });

    for (QComboBox* box : selectors)
        box->setInsertPolicy(QComboBox::NoInsert);
    com->setInsertPolicy(QComboBox::NoInsert);

    // The open button opens the port the box names, also when its text was typed and the
    // focus never left it.
    connect(openPort, &QPushButton::clicked, this, [this] {
        ManualAction();
        Handle([this] {
            control_.COMChange(com->currentText());
            control_.OpenPortClick();
        });
    });
    connect(closePort, &QPushButton::clicked, this, [this] {
        ManualAction();
        Handle([this] { control_.ClosePortClick(); });
    });
    // The port selector acts on a chosen item, and on a typed name once it is confirmed with
    // Enter or by leaving the box; only another port than the one in use changes anything.
    auto comChange = [this] {
        if (com->currentText().trimmed().compare(control_.Port().DeviceName(), Qt::CaseInsensitive) != 0)
            ManualAction();
        Handle([this] { control_.COMChange(com->currentText()); });
    };
    connect(com->lineEdit(), &QLineEdit::editingFinished, this, comChange);
    connect(com, &QComboBox::activated, this, comChange);
    // A typed rate applies on Enter or when the box loses the focus, as a chosen one does.
    QComboBox* speed = selectors[static_cast<size_t>(Setting::Speed)];
    connect(speed->lineEdit(), &QLineEdit::editingFinished, this, [this, speed] {
        if (speed->currentText().trimmed() != QString::number(control_.Port().BaudRateBps()))
            ManualAction();
        Handle([this, speed] { control_.SpeedTyped(speed->currentText()); });
        ShowSpeed();
    });
    for (size_t i = 0; i < selectors.size(); ++i) {
        connect(selectors[i], &QComboBox::activated, this, [this, i](int index) {
            ManualAction();
            Handle([&] { control_.SettingChange(kAllSettings[i], index); });
        });
    }
    connect(sameSettings, &QCheckBox::clicked, this,
            [this](bool ticked) { Handle([&] { control_.odinnastrClick(ticked); }); });
    connect(dtr, &QCheckBox::clicked, this,
            [this](bool ticked) { Handle([&] { control_.DTRchekClick(ticked); }); });
    connect(rts, &QCheckBox::clicked, this,
            [this](bool ticked) { Handle([&] { control_.RTSchekClick(ticked); }); });
    connect(sendHex, &QPushButton::clicked, this, [this] { OtpravButtonClick(); });
    InstallHexKeyFilter(hexLine, sendHex, [this] { OtpravButtonClick(); });
    connect(sendAscii, &QPushButton::clicked, this, [this] {
        Handle([this] { traffic_.OtpravButtonASCCIClick(asciiLine->currentText(), vk->isChecked()); });
    });
    PrepareEntryLine(hexLine, TEntryLineValidator::Kind::Hex);
    PrepareEntryLine(asciiLine, TEntryLineValidator::Kind::Ascii);
    connect(autoSend, &QCheckBox::clicked, this, [this](bool ticked) { traffic_.SetAutoSend(ticked); });
    connect(clear, &QPushButton::clicked, this, [this] {
        traffic_.Clear();
        dataHex->Sync();
        dataAscii->Sync();
    });
    connect(nastr, &QPushButton::clicked, this,
            [this] { settingsPanel->setVisible(!settingsPanel->isVisible()); });
    connect(closeNastr, &QPushButton::clicked, this, [this] { settingsPanel->hide(); });
}

void TPortPanel::ManualAction()
{
    if (onManualAction)
        onManualAction();
}

template <typename F>
void TPortPanel::Handle(F&& handler)
{
    // The panel shows how far the handler got before its error box appears.
    try {
        handler();
    } catch (...) {
        Render();
        emit Handled();
        ShowException(std::current_exception());
        return;
    }
    Render();
    emit Handled();
}

void TPortPanel::OtpravButtonClick()
{
    Handle([this] { traffic_.OtpravButtonClick(hexLine->currentText()); });
}

void TPortPanel::CommTxEmpty()
{
    traffic_.TxEmpty(hexLine->currentText(), asciiLine->currentText(), vk->isChecked());
}

void TPortPanel::StopAutoSend()
{
    autoSend->setChecked(false);
    traffic_.SetAutoSend(false);
}

void TPortPanel::DisplayTick()
{
    if (traffic_.Tick()) {
        dataHex->Sync();
        dataAscii->Sync();
    }
}

void TPortPanel::Render()
{
    const PortPanelState& state = control_.State();
    ShowLabel(status, state.status);
    status->adjustSize();  // the status texts differ much in length
    ShowLabel(dsr, state.dsr, LabelWidth::Kept);
    ShowLabel(cts, state.cts, LabelWidth::Kept);
    ShowLabel(dcd, state.dcd, LabelWidth::Kept);
    ShowLabel(ri, state.ri, LabelWidth::Kept);
    openPort->setEnabled(state.openEnabled);
    closePort->setEnabled(state.closeEnabled);
    sendHex->setEnabled(state.sendHexEnabled);
    sameSettings->setChecked(state.sameSettings);
    dtr->setChecked(state.dtr);
    rts->setChecked(state.rts);
    for (size_t i = 0; i < selectors.size(); ++i) {
        const int index = state.selected[i];
        if (index >= 0 && selectors[i]->currentIndex() != index) {
            const QSignalBlocker quiet(selectors[i]);
            selectors[i]->setCurrentIndex(index);
        }
    }
    // A rate is shown anew when it changed, not while the user types into the box.
    if (state.speed != shownSpeed_)
        ShowSpeed();
}

void TPortPanel::ShowSpeed()
{
    const PortPanelState& state = control_.State();
    QComboBox* speed = selectors[static_cast<size_t>(Setting::Speed)];
    const QSignalBlocker quiet(speed);
    if (state.selected[static_cast<size_t>(Setting::Speed)] >= 0)
        speed->setCurrentIndex(state.selected[static_cast<size_t>(Setting::Speed)]);
    speed->setEditText(QString::number(state.speed));
    shownSpeed_ = state.speed;
}

}  // namespace duoterm
