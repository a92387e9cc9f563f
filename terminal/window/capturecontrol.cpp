#include "capturecontrol.h"

#include "codepage.h"

#include <filesystem>

namespace duoterm {

std::optional<traffic::LineErrorCounts> ToCaptureCounts(const std::optional<TLineErrorCounts>& counts)
{
    if (!counts)
        return std::nullopt;
    return traffic::LineErrorCounts{counts->framing, counts->parity, counts->overrun, counts->breaks};
}

TCaptureControl::TCaptureControl(size_t queueBound) : writer_(queueBound) {}

QString TCaptureControl::Start(const QString& path)
{
    Stop();
    traffic::CaptureError error;
    if (!writer_.Start(std::filesystem::path(path.toStdU16String()), error))
        return kCaptureStartFailedMessage.arg(QString::fromStdString(error.Text()));
    path_ = path;
    counts_ = {};
    open_ = {};  // the ports open now are recorded as opened at the owner's next PortState
    return {};
}

void TCaptureControl::Stop()
{
    writer_.Stop();
    (void)writer_.TakeError();  // a failure at the very end is no longer news
}

void TCaptureControl::Event(int side, traffic::PortEvent event, const QString& detail)
{
    std::string bytes;
    To1251(detail, bytes);
    writer_.Event(side, event, bytes);
}

void TCaptureControl::PortState(int side, bool open, const QString& detail)
{
    bool& known = open_[static_cast<size_t>(side - 1)];
    if (known == open)
        return;
    known = open;
    counts_[static_cast<size_t>(side - 1)].reset();
    Event(side, open ? traffic::PortEvent::Opened : traffic::PortEvent::Closed, detail);
}

void TCaptureControl::PortLost(int side, const QString& detail)
{
    open_[static_cast<size_t>(side - 1)] = false;
    counts_[static_cast<size_t>(side - 1)].reset();
    Event(side, traffic::PortEvent::Lost, detail);
}

void TCaptureControl::PortReopened(int side, const QString& detail)
{
    open_[static_cast<size_t>(side - 1)] = true;
    counts_[static_cast<size_t>(side - 1)].reset();
    Event(side, traffic::PortEvent::Reopened, detail);
}

void TCaptureControl::LineErrors(int side, const std::optional<TLineErrorCounts>& counts)
{
    if (!writer_.Running())
        return;
    auto& last = counts_[static_cast<size_t>(side - 1)];
    const auto now = ToCaptureCounts(counts);
    if (last && *last == now)
        return;
    last = now;
    writer_.LineErrors(side, now);
}

std::optional<QString> TCaptureControl::TakeError()
{
    const auto error = writer_.TakeError();
    if (!error)
        return std::nullopt;
    writer_.Stop();
    return kCaptureFailedMessage.arg(QString::fromStdString(error->Text()));
}

}  // namespace duoterm
