// The timeline window (menu "Окна"): both ports' traffic in one time-ordered list of rows,
// each tick tagged with its port and direction, in hex and as text, drawn by a receive view
// (only the rows on screen are formatted). It follows the newest row while scrolled to the
// end; it takes in new rows four times a second while shown.
//
// Threads: user-interface thread only.
#pragma once

#include "timeline.h"

#include <QTimer>
#include <QWidget>

class TRxView;

namespace duoterm {

class TTimelineWindow : public QWidget {
    Q_OBJECT
public:
    TTimelineWindow(TTimeline& timeline, QWidget* parent);
    TRxView* View() const { return view_; }
    // Takes in what the stores hold now.
    void Sync();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TRxView* view_;
    QTimer timer_;
};

}  // namespace duoterm
