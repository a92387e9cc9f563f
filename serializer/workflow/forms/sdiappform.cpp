#include "sdiappform.h"

#include <algorithm>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>

#include "aboutbox.h"
#include "advancedform.h"
#include "configurationstore.h"
#include "devicetests.h"
#include "fieldhooks.h"
#include "infoform.h"
#include "modalrunner.h"
#include "productform.h"
#include "readerase.h"
#include "ui_sdiappform.h"
#include "windowframe.h"
#include "windowrules.h"

namespace eemint {

namespace {

QString FromLatin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Masks of the identity edits. Unfilled positions show as blanks and read as spaces.
const QString kManufacturerMask = QString(16, 'x');
const QString kManufacturerIdMask = "nn";
const QString kHexMask = ">HHHH";
QString DescriptionMask(int characters)
{
    return QString(characters, 'x');
}

// Only single-byte characters can be stored in the image.
std::optional<char32_t> Latin1KeyFilter(char32_t key)
{
    if (key > 0xFF)
        return std::nullopt;
    return key;
}

// A tool button's image with a disabled look an operator tells apart at a glance: grey and
// faint (30% of its opacity) instead of the style's slight fading.
QIcon ToolIcon(const QIcon& image, const QSize& size, qreal pixelRatio)
{
    const QPixmap normal = image.pixmap(size, pixelRatio);
    QImage disabled = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < disabled.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(disabled.scanLine(y));
        for (int x = 0; x < disabled.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 3 / 10);
        }
    }
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
    return icon;
}

}  // namespace

TSDIAppForm::TSDIAppForm(ConfigurationStore& store, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TSDIAppForm>()), store_(store)
{
    ui->setupUi(this);
    FormCreate();
}

TSDIAppForm::~TSDIAppForm() = default;

void TSDIAppForm::FormCreate()
{
    UseFixedFrame(*this);
    ui->Options1->menuAction()->setVisible(false);

    // Tool bar: images from the style, clearly grey and faint when disabled; the short hints
    // as tips.
    QStyle* s = style();
    const struct { QToolButton* button; QStyle::StandardPixmap image; } tools[] = {
        {ui->NewBtn, QStyle::SP_FileIcon},
        {ui->OpenBtn, QStyle::SP_DialogOpenButton},
        {ui->SaveBtn, QStyle::SP_DialogSaveButton},
        {ui->AdvancedBtn, QStyle::SP_FileDialogDetailedView},
        {ui->CancelBtn, QStyle::SP_DialogCancelButton},
        {ui->ProgramBtn, QStyle::SP_ArrowDown},
        {ui->TestBtn, QStyle::SP_DialogApplyButton},
    };
    const QSize toolIconSize(20, 20);
    for (const auto& tool : tools) {
        tool.button->setIcon(ToolIcon(s->standardIcon(tool.image), toolIconSize, devicePixelRatioF()));
        tool.button->setIconSize(toolIconSize);
        tool.button->setFixedSize(26, 26);
        tool.button->setFocusPolicy(Qt::NoFocus);  // a click leaves the focus where it is
    }
    ui->SpeedPanel->setFixedHeight(30);
    ui->SaveBtn->setEnabled(false);
    ui->CancelBtn->setEnabled(false);

    // Text edits in a fixed-pitch font, wide enough for their masks.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int charWidth = QFontMetrics(fixed).horizontalAdvance('M');
    const struct { QLineEdit* edit; int width; } edits[] = {
        {ui->ManufacturerMaskEdit, 16}, {ui->ManufacturerIDMaskEdit, 2}, {ui->VendorIDMaskEdit, 4},
        {ui->ProductIDMaskEdit, 4},     {ui->DescriptionMaskEdit, 40},  {ui->IntUSBVerMaskEdit, 4},
    };
    for (const auto& e : edits) {
        e.edit->setFont(fixed);
        e.edit->setFixedWidth(charWidth * e.width + 16);
    }
    ui->Logger->setFont(fixed);
    ui->Logger->setMinimumHeight(120);

    manufacturerMask_ = MaskEdit::Attach(ui->ManufacturerMaskEdit, kManufacturerMask);
    manufacturerIdMask_ = MaskEdit::Attach(ui->ManufacturerIDMaskEdit, kManufacturerIdMask);
    vendorIdMask_ = MaskEdit::Attach(ui->VendorIDMaskEdit, kHexMask);
    productIdMask_ = MaskEdit::Attach(ui->ProductIDMaskEdit, kHexMask);
    descriptionMask_ = MaskEdit::Attach(ui->DescriptionMaskEdit, DescriptionMask(38));
    usbVersionMask_ = MaskEdit::Attach(ui->IntUSBVerMaskEdit, kHexMask);
    const ProductConfiguration initial = DefaultProductConfiguration();
    manufacturerMask_->SetText(initial.manufacturer);
    manufacturerIdMask_->SetText(initial.manufacturerId);
    vendorIdMask_->SetText(initial.vendorId);
    productIdMask_->SetText(initial.productId);
    descriptionMask_->SetText(initial.description);
    usbVersionMask_->SetText(initial.usbVersion);
    manufacturerMask_->keyFilter = Latin1KeyFilter;
    descriptionMask_->keyFilter = Latin1KeyFilter;
    for (MaskEdit* hex : {vendorIdMask_, productIdMask_, usbVersionMask_})
        hex->keyFilter = HexKeyFilter;  // HexKeyPress

    // Enter and exit handlers.
    auto guarded = [this] { return Guarded(); };
    auto enterGeneric = [this] { GenericEnter(); };
    auto exitComplete = [this] { CheckEditComplete(); };
    manufacturerMask_->onEnter = enterGeneric;
    manufacturerMask_->onExit = [this] { ManufacturerMaskEditExit(); };
    for (MaskEdit* edit : {manufacturerIdMask_, vendorIdMask_, productIdMask_, usbVersionMask_}) {
        edit->onEnter = enterGeneric;
        edit->onExit = exitComplete;
    }
    descriptionMask_->onEnter = [this] { DescriptionMaskEditEnter(); };
    descriptionMask_->onExit = exitComplete;
    for (MaskEdit* edit : {manufacturerMask_, manufacturerIdMask_, vendorIdMask_, productIdMask_,
                           descriptionMask_, usbVersionMask_})
        edit->inputBlocked = guarded;
    for (QWidget* control : std::initializer_list<QWidget*>{ui->Rev4CB, ui->IsoInCB, ui->IsoOutCB, ui->IntPdEnCB,
                                                            ui->IntSerNoCB, ui->IntUSBVerCB, ui->Logger}) {
        FieldHooks* hooks = FieldHooks::Attach(control);
        hooks->onEnter = enterGeneric;
        hooks->inputBlocked = guarded;
    }
    // The option boxes keep their place while hidden, so the window does not change shape.
    for (QWidget* option : std::initializer_list<QWidget*>{ui->IsoInCB, ui->IsoOutCB, ui->IntPdEnCB, ui->IntSerNoCB}) {
        QSizePolicy policy = option->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        option->setSizePolicy(policy);
    }
    connect(ui->Rev4CB, &QCheckBox::toggled, this, &TSDIAppForm::Rev4CBClick);
    connect(ui->IntUSBVerCB, &QCheckBox::toggled, this, &TSDIAppForm::IntUSBVerCBClick);

    // Menu items and tool buttons.
    const struct { QAction* item; QToolButton* button; void (TSDIAppForm::*handler)(); } commands[] = {
        {ui->NewItem, ui->NewBtn, &TSDIAppForm::NewItemClick},
        {ui->OpenItem, ui->OpenBtn, &TSDIAppForm::OpenItemClick},
        {ui->SaveItem, ui->SaveBtn, &TSDIAppForm::SaveItemClick},
        {ui->CancelItem, ui->CancelBtn, &TSDIAppForm::CancelItemClick},
        {ui->ExitItem, nullptr, &TSDIAppForm::ExitItemClick},
        {ui->ProgramItem, ui->ProgramBtn, &TSDIAppForm::ProgramItemClick},
        {ui->TestItem, ui->TestBtn, &TSDIAppForm::TestItemClick},
        {ui->TestModemItem, nullptr, &TSDIAppForm::TestModemItemClick},
        {ui->ReadItem, nullptr, &TSDIAppForm::ReadItemClick},
        {ui->EraseItem, nullptr, &TSDIAppForm::EraseItemClick},
        {ui->ProgramToFileItem, nullptr, &TSDIAppForm::ProgramToFileItemClick},
        {ui->AdvancedItem, ui->AdvancedBtn, &TSDIAppForm::AdvancedItemClick},
        {ui->About1, nullptr, &TSDIAppForm::About1Click},
    };
    for (const auto& command : commands) {
        connect(command.item, &QAction::triggered, this, command.handler);
        if (command.button)
            connect(command.button, &QToolButton::clicked, this, command.handler);
    }
    // The two check items keep their check mark as their handlers set it.
    connect(ui->AutoEnabled, &QAction::triggered, this, [this](bool checked) {
        ui->AutoEnabled->setChecked(!checked);
        AutoEnabledClick();
    });
    connect(ui->MultiProgramMode, &QAction::triggered, this, [this](bool checked) {
        ui->MultiProgramMode->setChecked(!checked);
        MultiProgramModeClick();
    });

    // Status bar: the hint panel and the mode panel.
    hintPanel_ = new QLabel(ui->StatusBar);
    hintPanel_->setObjectName("HintPanel");
    hintPanel_->setMinimumWidth(360);
    modePanel_ = new QLabel(ui->StatusBar);
    modePanel_->setObjectName("ModePanel");
    modePanel_->setMinimumWidth(
        std::max(50, modePanel_->fontMetrics().horizontalAdvance("MODE: MultiProgram") + 12));
    for (QLabel* panel : {hintPanel_, modePanel_}) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
    }
    ui->StatusBar->addWidget(hintPanel_, 1);
    ui->StatusBar->addPermanentWidget(modePanel_);

    SaveDialog = new QFileDialog(this);
    SaveDialog->setObjectName("SaveDialog");
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);

    SetMode(WindowMode::Program);

    // The window keeps its designed size.
    ui->centralwidget->setMinimumSize(621, 315 - 30);
    adjustSize();
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSDIAppForm::AttachForms(TAboutBox* about, TInfoForm* info, TProductForm* product, TAdvancedForm* advanced)
{
    about_ = about;
    info_ = info;
    product_ = product;
    advanced_ = advanced;
}

bool TSDIAppForm::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip:
        ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    case QEvent::WindowActivate:
        // Only the first activation selects the configuration; coming back from a dialog
        // does not.
        if (!activated_) {
            activated_ = true;
            FormActivate();
        }
        break;
    case QEvent::Close:
        // No auto-mode step may reach a closed window: stop the thread and wait for it.
        if (autoThread_)
            autoThread_->StopAndJoin();
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

void TSDIAppForm::ShowHint(const QString& hint)
{
    // A notice in the whole bar stays until the next hint replaces it.
    if (!hint.isEmpty())
        ui->StatusBar->clearMessage();
    hintPanel_->setText(hint);
}

bool TSDIAppForm::Guarded() const
{
    return mode_ == WindowMode::Program || mode_ == WindowMode::MultiProgram;
}

void TSDIAppForm::SetMode(WindowMode mode)
{
    // A notice such as "Saved as" speaks of the mode that ends here.
    ui->StatusBar->clearMessage();
    mode_ = mode;
    modePanel_->setText(ModeStatusText(mode));
}

ProductConfiguration TSDIAppForm::CurrentConfiguration() const
{
    ProductConfiguration config;
    config.manufacturer = manufacturerMask_->Text();
    config.manufacturerId = manufacturerIdMask_->Text();
    config.vendorId = vendorIdMask_->Text();
    config.productId = productIdMask_->Text();
    config.description = descriptionMask_->Text();
    config.rev4 = ui->Rev4CB->isChecked();
    config.isoIn = ui->IsoInCB->isChecked();
    config.isoOut = ui->IsoOutCB->isChecked();
    config.intPdEn = ui->IntPdEnCB->isChecked();
    config.intSerNo = ui->IntSerNoCB->isChecked();
    config.intUsbVer = ui->IntUSBVerCB->isChecked();
    config.usbVersion = usbVersionMask_->Text();
    if (advanced_) {
        config.plugAndPlay = advanced_->GetPlugAndPlay();
        config.selfPowered = advanced_->GetSelfPowered();
        config.remoteWakeup = advanced_->GetRemoteWakeup();
        config.maxPower = advanced_->GetMaxPower();
        config.fixedSerial = advanced_->HasFixedSerial();
        config.fixedSerialText = advanced_->GetFixedSerial();
    }
    return config;
}

void TSDIAppForm::ApplyConfiguration(const ProductConfiguration& config)
{
    manufacturerMask_->SetText(config.manufacturer);
    manufacturerIdMask_->SetText(config.manufacturerId);
    vendorIdMask_->SetText(config.vendorId);
    productIdMask_->SetText(config.productId);
    // A description saved under a wider limit gets the room it had, up to the 40 characters
    // a stored description may hold, instead of losing its end.
    const int descriptionLength = static_cast<int>(TrimTrailingBlanks(config.description).size());
    if (descriptionLength > ui->DescriptionMaskEdit->inputMask().section(';', 0, 0).size())
        descriptionMask_->SetMask(DescriptionMask(std::min(descriptionLength, 40)));
    descriptionMask_->SetText(config.description);
    ui->Rev4CB->setChecked(config.rev4);
    ui->IsoInCB->setChecked(config.isoIn);
    ui->IsoOutCB->setChecked(config.isoOut);
    ui->IntPdEnCB->setChecked(config.intPdEn);
    ui->IntSerNoCB->setChecked(config.intSerNo);
    ui->IntUSBVerCB->setChecked(config.intUsbVer);
    usbVersionMask_->SetText(config.usbVersion);
    // The click behaviour runs even when a box keeps its state.
    Rev4CBClick();
    IntUSBVerCBClick();
    if (advanced_) {
        advanced_->SetPlugAndPlay(config.plugAndPlay);
        advanced_->SetSelfPowered(config.selfPowered);
        advanced_->SetRemoteWakeup(config.remoteWakeup);
        advanced_->SetMaxPowerText(config.maxPower);
        advanced_->SetFixedSerial(config.fixedSerial);
        advanced_->SetFixedSerialText(config.fixedSerialText);
    }
}

// --- Reporter and auto mode's steps ----------------------------------------------------

void TSDIAppForm::Log(const std::string& line)
{
    ui->Logger->appendPlainText(FromLatin1(line));
}

void TSDIAppForm::ShowError(const std::string& text)
{
    if (info_)
        info_->ShowError(FromLatin1(text));
}

void TSDIAppForm::ShowStatus(const std::string& text)
{
    if (info_)
        info_->ShowStatus(FromLatin1(text));
}

void TSDIAppForm::Repaint()
{
    repaint();
}

void TSDIAppForm::RunAutoCycle()
{
    ui->Logger->clear();
    ProgramItemClick();
    TestItemClick();
}

void TSDIAppForm::ShowConnectPrompt()
{
    Log(kConnectPrompt);
}

// --- Start-up and stored configurations -------------------------------------------------

bool TSDIAppForm::RestoreConfiguration(const std::string& name)
{
    ProductConfiguration config = CurrentConfiguration();
    if (!store_.Restore(name, config))
        return false;
    ApplyConfiguration(config);
    return true;
}

void TSDIAppForm::FormActivate()
{
    if (RestoreConfiguration(""))
        return;
    if (product_->CountConfigurations() == 0) {
        NewItemClick();
        return;
    }
    const std::vector<std::string> names = store_.Names();
    if (!names.empty())
        RestoreConfiguration(names.front());
    store_.Save(CurrentConfiguration());
    DisableInputs();
}

void TSDIAppForm::NewItemClick()
{
    SetMode(WindowMode::Edit);
    for (MaskEdit* edit : {manufacturerMask_, manufacturerIdMask_, vendorIdMask_, productIdMask_, descriptionMask_})
        edit->SetText("");
    ui->Rev4CB->setChecked(false);
    usbVersionMask_->SetText("0110");
    EnableInputs();
    advanced_->SetPlugAndPlay(true);
    advanced_->SetFixedSerial(false);
    advanced_->SetFixedSerialText("");
    advanced_->SetSelfPowered(false);
    advanced_->SetRemoteWakeup(true);
    advanced_->SetMaxPowerText(44);
    ui->ManufacturerMaskEdit->setFocus(Qt::OtherFocusReason);
}

void TSDIAppForm::OpenItemClick()
{
    if (product_->Execute() != QDialog::Accepted)
        return;
    RestoreConfiguration(product_->GetSelectedName());
    DisableInputs();
}

bool TSDIAppForm::TakeFocusOff()
{
    QWidget* active = QApplication::focusWidget();
    if (!active || active->window() != this)
        return true;
    active->clearFocus();
    return QApplication::focusWidget() != active;
}

void TSDIAppForm::SaveItemClick()
{
    if (!ConfigurationComplete(CurrentConfiguration())) {
        ShowError("All fields must be filled in");
        return;
    }
    if (!TakeFocusOff())
        return;
    const std::string name = store_.Save(CurrentConfiguration());
    if (name.empty()) {
        // Not written: stay in Edit mode so nothing the operator entered is lost.
        ShowError("Failed to save the configuration: " + store_.LastError());
        return;
    }
    DisableInputs();
    // Shown until the next hint or mode change.
    ui->StatusBar->showMessage(FromLatin1("Saved as " + name));
}

void TSDIAppForm::CancelItemClick()
{
    if (!TakeFocusOff())
        return;
    // Back to what was shown before the edit began: the current configuration, which every
    // way into Program mode (start-up, Open, Save) has made current. The selection dialog's
    // remembered choice may be another one (it starts as the first of the list).
    RestoreConfiguration("");
    DisableInputs();
}

void TSDIAppForm::ExitItemClick()
{
    if (ui->AutoEnabled->isChecked())
        StopAutoThread();
    close();
}

void TSDIAppForm::AdvancedItemClick()
{
    if (advanced_->Execute(mode_) == QDialog::Accepted && mode_ == WindowMode::Edit) {
        ui->SaveItem->setEnabled(true);
        ui->SaveBtn->setEnabled(true);
    }
}

void TSDIAppForm::About1Click()
{
    RunModal(*about_);
}

// --- Device commands --------------------------------------------------------------------

void TSDIAppForm::ProgramItemClick()
{
    flow_.Program(CurrentConfiguration(), mode_ == WindowMode::MultiProgram, *this);
}

void TSDIAppForm::TestItemClick()
{
    RunLoopbackTest(*this);
}

void TSDIAppForm::TestModemItemClick()
{
    RunModemTest(*this);
}

void TSDIAppForm::ReadItemClick()
{
    ReadItemRun(*this);
}

void TSDIAppForm::EraseItemClick()
{
    EraseItemRun(*this);
}

void TSDIAppForm::ProgramToFileItemClick()
{
    if (RunModal(*SaveDialog) != QDialog::Accepted)
        return;
    const QString path = SaveDialog->selectedFiles().value(0);
    if (path.isEmpty())
        return;
    flow_.ProgramToFile(CurrentConfiguration(), QFile::encodeName(path).toStdString(), *this);
}

void TSDIAppForm::AutoEnabledClick()
{
    if (!ui->AutoEnabled->isChecked()) {
        StartAutoThread();
        ui->Logger->clear();
        DisableAll();
        ui->AutoEnabled->setChecked(true);
    } else {
        StopAutoThread();
        DisableInputs();
        ui->AutoEnabled->setChecked(false);
    }
}

void TSDIAppForm::StartAutoThread()
{
    autoThread_.reset();
    autoThread_ = std::make_unique<TMyConnection>(*this);
    autoThread_->start();
}

void TSDIAppForm::StopAutoThread()
{
    if (autoThread_)
        autoThread_->Stop();
}

void TSDIAppForm::MultiProgramModeClick()
{
    if (mode_ == WindowMode::Program) {
        SetMode(WindowMode::MultiProgram);
        ui->MultiProgramMode->setChecked(true);
    } else {
        SetMode(WindowMode::Program);
        ui->MultiProgramMode->setChecked(false);
    }
}

// --- Field behaviour --------------------------------------------------------------------

void TSDIAppForm::GenericEnter()
{
    // In Program and multi-program mode the fields can be looked at, never entered.
    if (Guarded())
        setFocus(Qt::OtherFocusReason);
}

void TSDIAppForm::DescriptionMaskEditEnter()
{
    GenericEnter();
    if (Guarded())
        return;
    const int limit = DescriptionLimit(manufacturerMask_->Text());
    const std::string cut = CutDescription(descriptionMask_->Text(), limit);
    descriptionMask_->SetMask(DescriptionMask(limit + 2));
    descriptionMask_->SetText(cut);
}

void TSDIAppForm::ManufacturerMaskEditExit()
{
    DescriptionMaskEditEnter();
    CheckEditComplete();
}

void TSDIAppForm::CheckEditComplete()
{
    if (Guarded())
        return;
    if (IdentityComplete(CurrentConfiguration())) {
        ui->AdvancedItem->setEnabled(true);
        ui->AdvancedBtn->setEnabled(true);
    }
}

void TSDIAppForm::Rev4CBClick()
{
    const bool on = ui->Rev4CB->isChecked();
    for (QCheckBox* option : {ui->IsoInCB, ui->IsoOutCB, ui->IntPdEnCB, ui->IntSerNoCB}) {
        option->setVisible(on);
        option->setEnabled(on);
    }
    if (!on) {
        ui->IntUSBVerCB->setVisible(false);
        ui->IntUSBVerCB->setEnabled(false);
        ui->IntUSBVerMaskEdit->setVisible(false);
        ui->IntUSBVerMaskEdit->setEnabled(false);
    }
}

void TSDIAppForm::IntUSBVerCBClick()
{
    const bool on = ui->IntUSBVerCB->isChecked();
    ui->IntUSBVerMaskEdit->setEnabled(on);
    ui->IntUSBVerMaskEdit->setReadOnly(!on);
}

// --- Modes ------------------------------------------------------------------------------

void TSDIAppForm::SetIdentityReadOnly(bool readOnly)
{
    for (QLineEdit* edit : {ui->ManufacturerMaskEdit, ui->ManufacturerIDMaskEdit, ui->VendorIDMaskEdit,
                            ui->ProductIDMaskEdit, ui->DescriptionMaskEdit})
        edit->setReadOnly(readOnly);
}

void TSDIAppForm::ApplyEnabling(WindowMode entered, bool stored)
{
    for (const EnablingRule& rule : EnablingTable()) {
        const std::optional<bool> on = EnabledAfter(rule, entered, mode_, stored);
        if (!on)
            continue;
        if (auto* item = findChild<QAction*>(rule.control))
            item->setEnabled(*on);
        else if (auto* button = findChild<QToolButton*>(rule.control))
            button->setEnabled(*on);
    }
}

void TSDIAppForm::EnableInputs()
{
    SetIdentityReadOnly(false);
    ApplyEnabling(WindowMode::Edit, product_->CountConfigurations() > 0);
    advanced_->AllowMaxPowerEdit();
    ui->ManufacturerMaskEdit->setFocus(Qt::OtherFocusReason);
}

void TSDIAppForm::DisableInputs()
{
    SetIdentityReadOnly(true);
    ApplyEnabling(WindowMode::Program, false);
    advanced_->LockMaxPowerEdit();
    SetMode(WindowMode::Program);
    ui->MultiProgramMode->setChecked(false);
}

void TSDIAppForm::DisableAll()
{
    SetIdentityReadOnly(true);
    ApplyEnabling(WindowMode::Auto, false);
    SetMode(WindowMode::Auto);
}

}  // namespace eemint
