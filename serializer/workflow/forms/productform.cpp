#include "productform.h"

#include <algorithm>

#include <QStyle>

#include "configurationstore.h"
#include "modalrunner.h"
#include "ui_productform.h"
#include "windowframe.h"

namespace eemint {

namespace {
QString FromLatin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

TProductForm::TProductForm(ConfigurationStore& store, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TProductForm>()), store_(store)
{
    ui->setupUi(this);
    UseFixedFrame(*this);
    ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
    ui->ProductsListBox->setMinimumSize(300, 130);
    ui->OKButton->setAutoDefault(false);
    connect(ui->OKButton, &QPushButton::clicked, this, &TProductForm::OKButtonClick);
    connect(ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->ProductsListBox, &QListWidget::itemDoubleClicked, this, &TProductForm::OKButtonClick);
}

TProductForm::~TProductForm() = default;

void TProductForm::RefreshList()
{
    QListWidget* list = ui->ProductsListBox;
    list->clear();
    int widest = 0;
    for (const std::string& name : store_.Names()) {
        list->addItem(FromLatin1(name));
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(FromLatin1(name)));
    }
    // Wide enough for the longest name, so none is cut off.
    list->setMinimumWidth(std::clamp(widest + 2 * list->frameWidth() + 24, 300, 900));
}

int TProductForm::CountConfigurations()
{
    RefreshList();
    const int count = ui->ProductsListBox->count();
    if (count > 0 && SelectedName.empty())
        SelectedName = ui->ProductsListBox->item(0)->text().toLatin1().toStdString();
    return count;
}

int TProductForm::Execute()
{
    FormActivate();
    return RunModal(*this);
}

void TProductForm::FormActivate()
{
    RefreshList();
    QListWidget* list = ui->ProductsListBox;
    if (list->count() == 0)
        return;
    if (SelectedIndex >= 0) {
        // A position remembered from a longer list falls back to the first entry.
        list->setCurrentRow(SelectedIndex < list->count() ? SelectedIndex : 0);
        return;
    }
    list->setCurrentRow(0);
    const QString current = FromLatin1(store_.Current());
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == current) {
            list->setCurrentRow(row);
            break;
        }
    }
}

void TProductForm::OKButtonClick()
{
    // With nothing to choose the dialog stays open: the operator can only cancel.
    QListWidgetItem* item = ui->ProductsListBox->currentItem();
    if (!item || !item->isSelected())
        return;
    SelectedName = item->text().toLatin1().toStdString();
    SelectedIndex = ui->ProductsListBox->row(item);
    store_.SetCurrent(SelectedName);
    accept();
}

}  // namespace eemint
