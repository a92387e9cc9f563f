// TSDIAppForm: Eemint's main window. It shows one product identity, runs in one of four
// modes (Program, Edit, Auto, MultiProgram) that decide which commands and fields are open,
// starts the device commands and collects their report lines in the log `Logger`. Every
// error of a command goes through the modal TInfoForm. User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include <QMainWindow>

#include "automode.h"
#include "productconfiguration.h"
#include "programming.h"
#include "reporter.h"

class QFileDialog;
class QLabel;
class QLineEdit;

namespace Ui { class TSDIAppForm; }

namespace eemint {

class ConfigurationStore;
class MaskEdit;
class TAboutBox;
class TAdvancedForm;
class TInfoForm;
class TProductForm;

class TSDIAppForm : public QMainWindow, public Reporter, public AutoModeTarget {
    Q_OBJECT

public:
    explicit TSDIAppForm(ConfigurationStore& store, QWidget* parent = nullptr);
    ~TSDIAppForm() override;

    // The other windows, created after this one; all live until the program ends.
    void AttachForms(TAboutBox* about, TInfoForm* info, TProductForm* product, TAdvancedForm* advanced);

    WindowMode Mode() const { return mode_; }
    // True while auto mode's detection thread runs (it ends soon after auto mode is switched
    // off, and before the window has closed).
    bool AutoModeRunning() const { return autoThread_ && autoThread_->isRunning(); }

    // The identity as the controls and the advanced dialog hold it: single-byte texts, mask
    // blanks as spaces, padded to the mask widths.
    ProductConfiguration CurrentConfiguration() const;
    // Puts an identity into the controls; the check boxes run their click behaviour.
    void ApplyConfiguration(const ProductConfiguration& config);

    // Reporter: a line at the end of Logger, the modal message dialog, a repaint.
    void Log(const std::string& line) override;
    void ShowError(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void Repaint() override;

    // AutoModeTarget: the steps auto mode hands to this thread.
    void RunAutoCycle() override;
    void ShowConnectPrompt() override;

public slots:
    void FormCreate();
    void FormActivate();
    void ShowHint(const QString& hint);

    void NewItemClick();
    void OpenItemClick();
    void SaveItemClick();
    void CancelItemClick();
    void ExitItemClick();
    void AdvancedItemClick();
    void About1Click();

    void ProgramItemClick();
    void TestItemClick();
    void TestModemItemClick();
    void ReadItemClick();
    void EraseItemClick();
    void ProgramToFileItemClick();
    void AutoEnabledClick();
    void MultiProgramModeClick();

    void GenericEnter();
    void DescriptionMaskEditEnter();
    void ManufacturerMaskEditExit();
    void CheckEditComplete();
    void Rev4CBClick();
    void IntUSBVerCBClick();

    void EnableInputs();
    void DisableInputs();
    void DisableAll();

protected:
    bool event(QEvent* event) override;

private:
    bool Guarded() const;
    void SetMode(WindowMode mode);
    void SetIdentityReadOnly(bool readOnly);
    // Enables and disables the commands as entering `entered` does (the enabling table).
    void ApplyEnabling(WindowMode entered, bool stored);
    // Takes the focus off the active control, which runs its exit checks; false when the
    // control refused to be left (an incomplete required field).
    bool TakeFocusOff();
    // Restores the named configuration (empty: the current one) into the controls.
    bool RestoreConfiguration(const std::string& name);

    // Auto mode's detection thread. Start joins a thread left from an earlier round first, so
    // two threads never probe at once; Stop only asks it to stop.
    void StartAutoThread();
    void StopAutoThread();

    std::unique_ptr<Ui::TSDIAppForm> ui;
    ConfigurationStore& store_;
    ProgrammingFlow flow_;
    WindowMode mode_ = WindowMode::Program;
    bool activated_ = false;

    TAboutBox* about_ = nullptr;
    TInfoForm* info_ = nullptr;
    TProductForm* product_ = nullptr;
    TAdvancedForm* advanced_ = nullptr;

    MaskEdit* manufacturerMask_ = nullptr;
    MaskEdit* manufacturerIdMask_ = nullptr;
    MaskEdit* vendorIdMask_ = nullptr;
    MaskEdit* productIdMask_ = nullptr;
    MaskEdit* descriptionMask_ = nullptr;
    MaskEdit* usbVersionMask_ = nullptr;
    QLabel* hintPanel_ = nullptr;  // status panel 0
    QLabel* modePanel_ = nullptr;  // status panel 1
    QFileDialog* SaveDialog = nullptr;

    // Last member: destroyed (stopped and joined) before anything the thread's steps use.
    std::unique_ptr<TMyConnection> autoThread_;
};

}  // namespace eemint
