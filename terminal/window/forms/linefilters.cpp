#include "linefilters.h"

#include "hexkeyfilter.h"
#include "porttraffic.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace duoterm {

namespace {

class THexKeyFilter : public QObject {
public:
    THexKeyFilter(QComboBox* line, QPushButton* sendButton, std::function<void()> send)
        : QObject(line), line_(line), sendButton_(sendButton), send_(std::move(send))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        // The clipboard and undo shortcuts are the line's own, whatever text the key carries.
        for (const auto shortcut : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Copy,
                                    QKeySequence::Undo, QKeySequence::Redo, QKeySequence::SelectAll})
            if (key->matches(shortcut))
                return false;
        QString text = key->text();
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            text = QStringLiteral("\r");
        if (text.size() != 1)
            return false;  // keys that type nothing: arrows, Delete, Home...
        std::string code;
        if (!To1251(text, code) || code.size() != 1)
            return true;  // no Windows-1251 character at all: nothing a request could hold
        const auto result = traffic::otpraveditKeyPress(static_cast<uint8_t>(code[0]), sendButton_->isEnabled());
        switch (result.action) {
        case traffic::HexKeyAction::Send:
            send_();
            return true;
        case traffic::HexKeyAction::Suppress:
            return true;
        case traffic::HexKeyAction::Insert:
            if (result.code == static_cast<uint8_t>(code[0]))
                return false;  // the character as typed
            line_->lineEdit()->insert(From1251(std::string(1, static_cast<char>(result.code))));
            return true;
        }
        return false;
    }

private:
    QComboBox* line_;
    QPushButton* sendButton_;
    std::function<void()> send_;
};

class TNumberKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && !NumberFieldTakes(*static_cast<QKeyEvent*>(event)))
            return true;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

bool NumberFieldTakes(const QKeyEvent& key)
{
    for (const auto shortcut : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Undo,
                                QKeySequence::Redo, QKeySequence::SelectAll})
        if (key.matches(shortcut))
            return false;
    if (key.key() == Qt::Key_Backspace)
        return true;
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
        return true;  // moves the focus; not a character of the field
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        return false;
    const QString text = key.text();
    // A Control chord on a character key types a control character, even where the platform
    // leaves the text empty.
    if (text.isEmpty())
        return !(key.modifiers() & Qt::ControlModifier) || key.key() >= Qt::Key_Escape;
    return text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9');
}

void InstallNumberKeyFilter(QLineEdit* field)
{
    field->installEventFilter(new TNumberKeyFilter(field));
}

void InstallHexKeyFilter(QComboBox* line, QPushButton* sendButton, std::function<void()> send)
{
    // Keys reach the combo box or its line edit, depending on which has the focus; the combo
    // box handles Enter itself. A key that passes may be seen twice, which changes nothing.
    auto* filter = new THexKeyFilter(line, sendButton, std::move(send));
    line->installEventFilter(filter);
    line->lineEdit()->installEventFilter(filter);
}


QValidator::State TEntryLineValidator::validate(QString& input, int& pos) const
{
    if (input.contains(QLatin1Char('\r')) || input.contains(QLatin1Char('\n')) ||
        input.contains(QChar::LineSeparator) || input.contains(QChar::ParagraphSeparator))
        input = LineBreaksToSpaces(input, &pos);
    if (kind_ == Kind::Hex)
        return Acceptable;
    std::string bytes;
    return To1251(input, bytes) ? Acceptable : Invalid;
}

void PrepareEntryLine(QComboBox* line, TEntryLineValidator::Kind kind)
{
    line->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    line->lineEdit()->setValidator(new TEntryLineValidator(kind, line));
}

}  // namespace duoterm
