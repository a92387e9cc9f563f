// TAdvancedForm ("Advanced Setup"): the USB power and enumeration part of the product
// identity (plug and play, self powered, remote wakeup, maximum power) and the optional fixed
// serial number. One instance lives as long as the program, so its values persist between
// openings. Opened from Program or multi-program mode it is view-only: the focus goes to the
// OK button whenever an option is entered. User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QDialog>

#include "productconfiguration.h"

namespace Ui { class TAdvancedForm; }

namespace eemint {

class MaskEdit;

class TAdvancedForm : public QDialog {
    Q_OBJECT

public:
    explicit TAdvancedForm(QWidget* parent = nullptr);
    ~TAdvancedForm() override;

    // Copies the main window's mode and shows the dialog modally; QDialog::Accepted when it
    // closed with OK.
    int Execute(WindowMode mode);
    WindowMode Mode() const { return mode_; }

    bool GetPlugAndPlay() const;
    void SetPlugAndPlay(bool on);
    bool GetSelfPowered() const;
    void SetSelfPowered(bool on);
    bool GetRemoteWakeup() const;
    void SetRemoteWakeup(bool on);
    // 0x80, plus 0x40 self powered, plus 0x20 remote wakeup.
    uint8_t GetAttributes() const;
    // Milliamps from the maximum power text; 500 or more gives 500, no digits give 0.
    int GetMaxPower() const;
    void SetMaxPowerText(int milliamps);
    void AllowMaxPowerEdit();
    void LockMaxPowerEdit();
    // Checks or unchecks Fixed Serial Number; its edit follows.
    void SetFixedSerial(bool on);
    bool HasFixedSerial() const;
    // The fixed serial number's 8 positions, blanks for untyped ones (single-byte text).
    std::string GetFixedSerial() const;
    void SetFixedSerialText(const std::string& text);

public slots:
    void OptionsPnPCheckBoxEnter();
    void OptionsFSNCheckBoxEnter();
    void FSNMaskEditEnter();
    void MaxPowerMaskEditEnter();
    void OptionsFSNCheckBoxClick();

protected:
    // Hints of the dialog's controls go to the main window's status bar, as the main
    // window's own do.
    bool event(QEvent* event) override;

private:
    void GuardFocus(QWidget* control);
    bool Guarded() const;

    std::unique_ptr<Ui::TAdvancedForm> ui;
    MaskEdit* fsnMask_ = nullptr;
    MaskEdit* maxPowerMask_ = nullptr;
    WindowMode mode_ = WindowMode::Program;
};

}  // namespace eemint
