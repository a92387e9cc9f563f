#include "aboutbox.h"

#include <QStyle>

#include "ui_aboutbox.h"
#include "windowframe.h"

namespace eemint {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>())
{
    ui->setupUi(this);
    UseFixedFrame(*this);
    ui->ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    ui->Panel1->setMinimumSize(285, 120);
    ui->Comments->setMinimumWidth(220);
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

}  // namespace eemint
