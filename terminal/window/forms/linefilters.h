// What the entry lines take from the keyboard: the HEX lines' key filter (replacements, the
// characters a request may hold, Enter sending while the side's HEX button is enabled), the
// ASCII lines' rule that only characters Windows-1251 can hold are taken, typed or pasted,
// so that what is shown is what is sent and stored, and the exchange's number fields, which
// take only the digits 0 to 9 and backspace from the keyboard.
//
// Threads: user-interface thread only.
#pragma once

#include "linebreaks.h"

#include <QValidator>

#include <functional>

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace duoterm {

// Filters the keys typed into an editable HEX line; `send` runs for Enter while `sendButton`
// is enabled.
void InstallHexKeyFilter(QComboBox* line, QPushButton* sendButton, std::function<void()> send);

// Whether a number field lets a key press through: the digits 0 to 9, backspace, and the keys
// that type nothing (arrows, Delete, Home, Tab...). Every other character is suppressed,
// Enter and the control characters included, and so are the clipboard and undo shortcuts.
bool NumberFieldTakes(const QKeyEvent& key);
void InstallNumberKeyFilter(QLineEdit* field);

// An entry line holds one line of text: every line break put into it (pasted, or from a
// stored text) becomes one space, CR LF included. A HEX line takes every other character
// (the request language counts a non-digit as the digit 0); an ASCII line only characters
// Windows-1251 can hold.
class TEntryLineValidator : public QValidator {
public:
    enum class Kind { Hex, Ascii };
    TEntryLineValidator(Kind kind, QObject* parent) : QValidator(parent), kind_(kind) {}
    State validate(QString& input, int& pos) const override;

private:
    Kind kind_;
};


// Makes an editable drop-down an entry line: no length limit (a line edit's default cuts at
// 32,767 characters) and the line-break rule above.
void PrepareEntryLine(QComboBox* line, TEntryLineValidator::Kind kind);

}  // namespace duoterm
