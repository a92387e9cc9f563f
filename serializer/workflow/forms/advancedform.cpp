#include "advancedform.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>

#include "fieldhooks.h"
#include "modalrunner.h"
#include "ui_advancedform.h"
#include "configurationstore.h"
#include "windowframe.h"

namespace eemint {

TAdvancedForm::TAdvancedForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAdvancedForm>())
{
    ui->setupUi(this);
    UseFixedFrame(*this);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(32, 32));

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QLineEdit* edit : {ui->FSNMaskEdit, ui->MaxPowerMaskEdit}) {
        edit->setFont(fixed);
    }
    const int charWidth = QFontMetrics(fixed).horizontalAdvance('M');
    ui->FSNMaskEdit->setFixedWidth(charWidth * 8 + 16);
    ui->MaxPowerMaskEdit->setFixedWidth(charWidth * 3 + 16);

    // An untyped position of the fixed serial number shows as "_"; the maximum power's as a
    // blank.
    fsnMask_ = MaskEdit::Attach(ui->FSNMaskEdit, "NNNNNNNN", QChar('_'));
    maxPowerMask_ = MaskEdit::Attach(ui->MaxPowerMaskEdit, "900");
    const ProductConfiguration initial = DefaultProductConfiguration();
    SetPlugAndPlay(initial.plugAndPlay);
    SetSelfPowered(initial.selfPowered);
    SetRemoteWakeup(initial.remoteWakeup);
    SetMaxPowerText(initial.maxPower);
    SetFixedSerial(initial.fixedSerial);
    SetFixedSerialText(initial.fixedSerialText);

    auto hook = [this](QWidget* control, void (TAdvancedForm::*enter)()) {
        FieldHooks* hooks = MaskOf(qobject_cast<QLineEdit*>(control));
        if (!hooks)
            hooks = FieldHooks::Attach(control);
        hooks->onEnter = [this, enter] { (this->*enter)(); };
        hooks->inputBlocked = [this] { return Guarded(); };
    };
    hook(ui->OptionsPnPCheckBox, &TAdvancedForm::OptionsPnPCheckBoxEnter);
    hook(ui->SelfPoweredCheckBox, &TAdvancedForm::OptionsPnPCheckBoxEnter);
    hook(ui->RemoteWakeupCheckBox, &TAdvancedForm::OptionsPnPCheckBoxEnter);
    hook(ui->OptionsFSNCheckBox, &TAdvancedForm::OptionsFSNCheckBoxEnter);
    hook(ui->FSNMaskEdit, &TAdvancedForm::FSNMaskEditEnter);
    hook(ui->MaxPowerMaskEdit, &TAdvancedForm::MaxPowerMaskEditEnter);

    connect(ui->OptionsFSNCheckBox, &QCheckBox::toggled, this, &TAdvancedForm::OptionsFSNCheckBoxClick);
    connect(ui->AdvancedOkBtn, &QPushButton::clicked, this, &QDialog::accept);
    ui->AdvancedOkBtn->setAutoDefault(false);
    setMinimumSize(297, 285);
}

TAdvancedForm::~TAdvancedForm() = default;

bool TAdvancedForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip && parentWidget()) {
        QCoreApplication::sendEvent(parentWidget(), event);
        return true;
    }
    return QDialog::event(event);
}

int TAdvancedForm::Execute(WindowMode mode)
{
    mode_ = mode;
    return RunModal(*this);
}

bool TAdvancedForm::Guarded() const
{
    return mode_ == WindowMode::Program || mode_ == WindowMode::MultiProgram;
}

void TAdvancedForm::GuardFocus(QWidget* control)
{
    if (Guarded() && control && control->hasFocus())
        ui->AdvancedOkBtn->setFocus(Qt::OtherFocusReason);
}

void TAdvancedForm::OptionsPnPCheckBoxEnter() { GuardFocus(focusWidget()); }
void TAdvancedForm::OptionsFSNCheckBoxEnter() { GuardFocus(ui->OptionsFSNCheckBox); }
void TAdvancedForm::FSNMaskEditEnter() { GuardFocus(ui->FSNMaskEdit); }
void TAdvancedForm::MaxPowerMaskEditEnter() { GuardFocus(ui->MaxPowerMaskEdit); }

void TAdvancedForm::OptionsFSNCheckBoxClick()
{
    ui->FSNMaskEdit->setEnabled(ui->OptionsFSNCheckBox->isChecked());
}

bool TAdvancedForm::GetPlugAndPlay() const { return ui->OptionsPnPCheckBox->isChecked(); }
void TAdvancedForm::SetPlugAndPlay(bool on) { ui->OptionsPnPCheckBox->setChecked(on); }
bool TAdvancedForm::GetSelfPowered() const { return ui->SelfPoweredCheckBox->isChecked(); }
void TAdvancedForm::SetSelfPowered(bool on) { ui->SelfPoweredCheckBox->setChecked(on); }
bool TAdvancedForm::GetRemoteWakeup() const { return ui->RemoteWakeupCheckBox->isChecked(); }
void TAdvancedForm::SetRemoteWakeup(bool on) { ui->RemoteWakeupCheckBox->setChecked(on); }

uint8_t TAdvancedForm::GetAttributes() const
{
    return static_cast<uint8_t>(0x80 | (GetSelfPowered() ? 0x40 : 0) | (GetRemoteWakeup() ? 0x20 : 0));
}

int TAdvancedForm::GetMaxPower() const
{
    return MaxPowerFromText(maxPowerMask_->Text());
}

void TAdvancedForm::SetMaxPowerText(int milliamps)
{
    maxPowerMask_->SetText(std::to_string(milliamps));
}

void TAdvancedForm::AllowMaxPowerEdit() { ui->MaxPowerMaskEdit->setReadOnly(false); }
void TAdvancedForm::LockMaxPowerEdit() { ui->MaxPowerMaskEdit->setReadOnly(true); }

void TAdvancedForm::SetFixedSerial(bool on)
{
    ui->OptionsFSNCheckBox->setChecked(on);
    OptionsFSNCheckBoxClick();
}

bool TAdvancedForm::HasFixedSerial() const { return ui->OptionsFSNCheckBox->isChecked(); }
std::string TAdvancedForm::GetFixedSerial() const { return fsnMask_->Text(); }
void TAdvancedForm::SetFixedSerialText(const std::string& text) { fsnMask_->SetText(text); }

}  // namespace eemint
