#include "infoform.h"

#include <QStyle>

#include "modalrunner.h"
#include "ui_infoform.h"
#include "windowframe.h"

namespace eemint {

TInfoForm::TInfoForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TInfoForm>())
{
    ui->setupUi(this);
    UseFixedFrame(*this);  // the size follows the message (long texts wrap)
    ShowIcon(kErrorIcon);
    ui->InfoFormPanel->setMinimumSize(290, 120);
    ui->InfoFormData->setMinimumWidth(240);
    connect(ui->InfoFormButton, &QPushButton::clicked, this, &QDialog::accept);
}

TInfoForm::~TInfoForm() = default;

void TInfoForm::ShowIcon(QStyle::StandardPixmap icon)
{
    ui->InfoIcon->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
}

void TInfoForm::ShowError(const QString& text)
{
    ui->InfoFormData->setText(text);
    setWindowTitle("Error");
    ShowIcon(kErrorIcon);
    RunModal(*this);
}

void TInfoForm::ShowStatus(const QString& text)
{
    setWindowTitle("Status");
    ShowIcon(kStatusIcon);
    ui->InfoFormData->setText(text);
    RunModal(*this);
    setWindowTitle("Error");
    ShowIcon(kErrorIcon);
}

}  // namespace eemint
