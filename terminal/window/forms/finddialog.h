// The find dialog of a port panel (Ctrl+F in either receive view): a text, read as
// hexadecimal bytes when "HEX" is ticked, found forward or backward over the panel's whole
// receive store; the match is selected in both views of the panel and scrolled into sight.
// Not modal: reception goes on while it is open.
//
// Threads: user-interface thread only.
#pragma once

#include "rxfind.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TRxView;

namespace duoterm {

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    TFindDialog(const traffic::RxLog& log, TRxView* hexView, TRxView* charView, const QString& title,
                QWidget* parent);

    // Shows the dialog with the text field focused; hex ticks "HEX" when opened from the
    // hexadecimal view.
    void Open(bool hex);
    void FindNext() { Find(TRxFind::Direction::Next); }
    void FindPrevious() { Find(TRxFind::Direction::Previous); }

    QLineEdit* text;
    QCheckBox* hex;
    QPushButton *next, *previous;
    QLabel* result;

private:
    void Find(TRxFind::Direction direction);

    const traffic::RxLog& log_;
    TRxView* hexView_;
    TRxView* charView_;
    TRxFind find_;
};

}  // namespace duoterm
