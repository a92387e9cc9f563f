// TInfoForm: Eemint's one modal message dialog. Errors show captioned "Error", success
// notices captioned "Status"; the caption is "Error" again afterwards.
#pragma once

#include <memory>

#include <QDialog>

namespace Ui { class TInfoForm; }

namespace eemint {

class TInfoForm : public QDialog {
    Q_OBJECT

public:
    explicit TInfoForm(QWidget* parent = nullptr);
    ~TInfoForm() override;

    void ShowError(const QString& text);
    void ShowStatus(const QString& text);

private:
    std::unique_ptr<Ui::TInfoForm> ui;
};

}  // namespace eemint
