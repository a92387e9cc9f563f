#include "finddialog.h"

#include "rxview.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace duoterm {

TFindDialog::TFindDialog(const traffic::RxLog& log, TRxView* hexView, TRxView* charView, const QString& title,
                         QWidget* parent)
    : QDialog(parent), log_(log), hexView_(hexView), charView_(charView)
{
    setWindowTitle(title);
    setModal(false);
    text = new QLineEdit(this);
    text->setObjectName(QStringLiteral("findText"));
    hex = new QCheckBox(QStringLiteral("HEX"), this);
    hex->setObjectName(QStringLiteral("findHex"));
    next = new QPushButton(QStringLiteral("Найти далее"), this);
    next->setObjectName(QStringLiteral("findNext"));
    next->setDefault(true);
    previous = new QPushButton(QStringLiteral("Найти назад"), this);
    previous->setObjectName(QStringLiteral("findPrevious"));
    result = new QLabel(this);
    result->setObjectName(QStringLiteral("findResult"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Найти:"), this), 0, 0);
    layout->addWidget(text, 0, 1, 1, 2);
    layout->addWidget(hex, 1, 0);
    layout->addWidget(previous, 1, 1);
    layout->addWidget(next, 1, 2);
    layout->addWidget(result, 2, 0, 1, 3);
    connect(next, &QPushButton::clicked, this, &TFindDialog::FindNext);
    connect(previous, &QPushButton::clicked, this, &TFindDialog::FindPrevious);
}

void TFindDialog::Open(bool hexView)
{
    hex->setChecked(hexView);
    result->clear();
    show();
    raise();
    activateWindow();
    text->setFocus();
    text->selectAll();
}

void TFindDialog::Find(TRxFind::Direction direction)
{
    const TRxFind::Result found = find_.Find(log_, text->text(), hex->isChecked(), direction);
    result->setText(found.message);
    if (!found.match)
        return;
    const auto first = traffic::Locate(log_, found.match->begin);
    const auto last = traffic::Locate(log_, found.match->end - 1);
    if (!first || !last)
        return;
    hexView_->Highlight(hexView_->Model()->RowOf(first->tick, first->tickColumn),
                        hexView_->Model()->RowOf(last->tick, last->tickColumn));
    charView_->Highlight(charView_->Model()->RowOf(first->viewLine, first->viewColumn),
                         charView_->Model()->RowOf(last->viewLine, last->viewColumn));
}

}  // namespace duoterm
