#include "timelinewindow.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace duoterm {

TTimelineWindow::TTimelineWindow(TTimeline& timeline, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("timelineWindow"));
    setWindowTitle(QStringLiteral("Обмен обоих портов по времени"));
    view_ = new TRxView(this);
    view_->setObjectName(QStringLiteral("timelineView"));
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->SetRowModel(&timeline);
    auto* heading = new QLabel(QStringLiteral("Время          Порт        HEX%1Текст").arg(QString(46, QLatin1Char(' '))), this);
    heading->setFont(view_->font());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(heading);
    layout->addWidget(view_);
    resize(820, 420);
    timer_.setInterval(250);
    connect(&timer_, &QTimer::timeout, this, &TTimelineWindow::Sync);
}

void TTimelineWindow::Sync()
{
    view_->Sync();
}

void TTimelineWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Sync();
    timer_.start();
}

void TTimelineWindow::hideEvent(QHideEvent* event)
{
    timer_.stop();
    QWidget::hideEvent(event);
}

}  // namespace duoterm
