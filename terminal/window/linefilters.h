// What the entry lines take from the keyboard: the HEX lines' key filter (replacements, the
// characters a request may hold, Enter sending while the side's HEX button is enabled), the
// ASCII lines' rule that only characters Windows-1251 can hold are taken, typed or pasted,
// so that what is shown is what is sent and stored, and the exchange's number fields, which
// take only the digits 0 to 9 and backspace from the keyboard.
//
// Threads: user-interface thread only.
#pragma once

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

class T1251Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

}  // namespace duoterm
