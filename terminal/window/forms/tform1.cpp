#include "tform1.h"

#include "ui_tform1.h"

#include <QPainter>
#include <QPixmap>

namespace duoterm {

namespace {

// Two serial plugs facing each other, joined by a line: the program's picture.
QPixmap AboutPicture()
{
    QPixmap picture(49, 49);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1.5));
    painter.setBrush(QColor(70, 110, 170));
    painter.drawRoundedRect(QRectF(3, 14, 15, 21), 3, 3);
    painter.drawRoundedRect(QRectF(31, 14, 15, 21), 3, 3);
    painter.setPen(QPen(QColor(0, 128, 0), 2));
    painter.drawLine(QPointF(18, 20), QPointF(31, 20));
    painter.setPen(QPen(QColor(200, 0, 0), 2));
    painter.drawLine(QPointF(18, 29), QPointF(31, 29));
    return picture;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm1>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(240, 198);
    ui_->Image1->setPixmap(AboutPicture());
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

TForm1::~TForm1() = default;

}  // namespace duoterm
