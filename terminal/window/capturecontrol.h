// The window's capture of both ports' traffic to a file: starts and stops the capture writer,
// passes it every chunk received and sent, turns the ports' openings, closings, losses and
// reopenings into port records, writes a port's line-error counts when they change, and turns
// the writer's failure into the one message the error box shows. No widgets: the window calls
// it from its handlers and timers.
//
// Threads: user-interface thread only (the writer's own thread stays inside CaptureWriter).
#pragma once

#include "capture.h"
#include "commtypes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace duoterm {

// The error box's text when a capture cannot start or had to stop.
inline const QString kCaptureFailedMessage = QStringLiteral("Запись в файл остановлена: %1");
inline const QString kCaptureStartFailedMessage = QStringLiteral("Не удалось начать запись в файл: %1");

// A port's line-error counts as the capture records them.
std::optional<traffic::LineErrorCounts> ToCaptureCounts(const std::optional<TLineErrorCounts>& counts);

class TCaptureControl {
public:
    explicit TCaptureControl(size_t queueBound = traffic::CaptureWriter::kDefaultQueueBound);

    // Starts a capture into the file (a running one is stopped first); the error box's text
    // when it cannot start, empty on success.
    QString Start(const QString& path);
    void Stop();
    bool Running() const { return writer_.Running(); }
    QString Path() const { return path_; }

    void Received(int side, const uint8_t* bytes, size_t count) { writer_.Received(side, bytes, count); }
    void Sent(int side, const uint8_t* bytes, size_t count) { writer_.Sent(side, bytes, count); }

    // The port's state after a handler or event: an open or close since the last call becomes
    // a record (detail: the port's name and settings). Tracked while no capture runs too, so a
    // capture records only real changes.
    void PortState(int side, bool open, const QString& detail);
    // The port was closed because its device went away / opened again by reopening.
    void PortLost(int side, const QString& detail);
    void PortReopened(int side, const QString& detail);
    // The port's counts now (polled about once a second while it is open): written when they
    // differ from the last ones written since the port's open or the capture's start.
    void LineErrors(int side, const std::optional<TLineErrorCounts>& counts);

    // The failure that stopped the capture, once, as the error box's text.
    std::optional<QString> TakeError();

private:
    void Event(int side, traffic::PortEvent event, const QString& detail);

    traffic::CaptureWriter writer_;
    QString path_;
    std::array<bool, 2> open_{};
    // The counts last written per port (an empty outer value: nothing written yet).
    std::array<std::optional<std::optional<traffic::LineErrorCounts>>, 2> counts_;
};

}  // namespace duoterm
