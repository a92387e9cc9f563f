// TInfoForm: Eemint's one modal message dialog. Errors show captioned "Error" with a warning
// icon, success notices captioned "Status" with the information icon; caption and icon are
// the error's again afterwards.
#pragma once

#include <memory>

#include <QDialog>
#include <QStyle>

namespace Ui { class TInfoForm; }

namespace eemint {

class TInfoForm : public QDialog {
    Q_OBJECT

public:
    explicit TInfoForm(QWidget* parent = nullptr);
    ~TInfoForm() override;

    void ShowError(const QString& text);
    void ShowStatus(const QString& text);

    static constexpr QStyle::StandardPixmap kErrorIcon = QStyle::SP_MessageBoxWarning;
    static constexpr QStyle::StandardPixmap kStatusIcon = QStyle::SP_MessageBoxInformation;

private:
    void ShowIcon(QStyle::StandardPixmap icon);

    std::unique_ptr<Ui::TInfoForm> ui;
};

}  // namespace eemint
