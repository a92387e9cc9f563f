// What the send lines take from the keyboard: the HEX lines' key filter (replacements, the
// characters a request may hold, Enter sending while the side's HEX button is enabled), and
// the ASCII lines' rule that only characters Windows-1251 can hold are taken, typed or pasted,
// so that what is shown is what is sent and stored.
//
// Threads: user-interface thread only.
#pragma once

#include <QValidator>

#include <functional>

class QComboBox;
class QPushButton;

namespace duoterm {

// Filters the keys typed into an editable HEX line; `send` runs for Enter while `sendButton`
// is enabled.
void InstallHexKeyFilter(QComboBox* line, QPushButton* sendButton, std::function<void()> send);

class T1251Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

}  // namespace duoterm
