#include "fieldhooks.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include "modalrunner.h"

namespace eemint {

namespace {
// Eats the click that tried to move the focus out of an edit that refused to be left, so a
// button pressed with the mouse does not run its command all the same. Removes itself after
// the button is released.
class ClickSwallower : public QObject {
public:
    explicit ClickSwallower(QWidget* target) : QObject(target) { target->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            deleteLater();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return true;
        default:
            return false;
        }
    }
};

bool WindowSwitch(const QFocusEvent* event)
{
    return event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason;
}
}  // namespace

FieldHooks::FieldHooks(QWidget* control) : QObject(control), control_(control)
{
    control->installEventFilter(this);
}

FieldHooks* FieldHooks::Attach(QWidget* control)
{
    return new FieldHooks(control);
}

bool FieldHooks::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != control_)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn: {
        if (refocusing_)
            return false;
        if (suspended_) {
            // Back from a dialog, a menu or another window: the control never left.
            suspended_ = false;
            return false;
        }
        Entered();
        if (onEnter)
            onEnter();
        // The enter handler may have changed the text (the description's limit): what the
        // operator may go back to with Escape is what he found on entering.
        if (control_->hasFocus())
            Entered();
        return false;
    }
    case QEvent::FocusOut: {
        const auto* focus = static_cast<QFocusEvent*>(event);
        if (WindowSwitch(focus) && control_->isVisible()) {
            suspended_ = true;
            return false;
        }
        suspended_ = false;
        if (!MayLeave())
            return false;
        Left();
        if (onExit)
            onExit();
        return false;
    }
    case QEvent::MouseButtonPress:
        if (inputBlocked && inputBlocked())
            return true;
        return MousePressed(event);
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return inputBlocked && inputBlocked();
    case QEvent::KeyPress:
        return KeyPressed(event);
    default:
        return false;
    }
}

MaskEdit::MaskEdit(QLineEdit* edit, QChar blank) : FieldHooks(edit), edit_(edit), blank_(blank)
{
    QObject::connect(edit, &QLineEdit::textEdited, this, [this] { edited_ = true; });
}

MaskEdit* MaskEdit::Attach(QLineEdit* edit, const QString& mask, QChar blank)
{
    auto* hooks = new MaskEdit(edit, blank);
    hooks->setObjectName("MaskEdit");
    hooks->SetMask(mask);
    return hooks;
}


void MaskEdit::SetMask(const QString& mask)
{
    const QString text = edit_->displayText();
    edit_->setInputMask(mask + ';' + blank_);
    edit_->setText(text);
}

std::string MaskEdit::Text() const
{
    QString text = edit_->displayText();
    text.replace(blank_, QChar(' '));
    return text.toLatin1().toStdString();
}

void MaskEdit::SetText(const std::string& latin1)
{
    QString text = QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
    // A space in the text stands for an unfilled position; positions that take spaces as
    // content (any-character masks) read them back the same way.
    text.replace(QChar(' '), blank_);
    edit_->setText(text);
    edit_->setCursorPosition(0);
    edited_ = false;
}

bool MaskEdit::Complete() const
{
    return edit_->hasAcceptableInput();
}

int MaskEdit::EnteredEnd() const
{
    const QString text = edit_->displayText();
    int end = static_cast<int>(text.size());
    while (end > 0 && text[end - 1] == blank_)
        --end;
    return end;
}

void MaskEdit::Entered()
{
    entryText_ = edit_->displayText();
    edited_ = false;
    // Entered from the keyboard or by the program, typing starts at the first position and
    // replaces what is there (a click places the caret where it points).
    if (QGuiApplication::mouseButtons() == Qt::NoButton) {
        if (edit_->displayText().trimmed().isEmpty() || edit_->displayText().remove(blank_).isEmpty())
            edit_->setCursorPosition(0);
        else
            edit_->selectAll();
    }
}

void MaskEdit::Left()
{
    edited_ = false;
}

bool MaskEdit::MayLeave()
{
    if (!edited_ || Complete() || !edit_->isVisible() || !edit_->isEnabled())
        return true;
    // Take the focus back at once, so the control it went to is never entered, then tell
    // the operator once the focus change is over.
    QWidget* target = QApplication::focusWidget();
    if (target && target != edit_ && QGuiApplication::mouseButtons() != Qt::NoButton)
        new ClickSwallower(target);
    refocusing_ = true;
    edit_->setFocus(Qt::OtherFocusReason);
    refocusing_ = false;
    QPointer<QLineEdit> edit = edit_;
    QTimer::singleShot(0, edit_, [edit] {
        if (edit)
            ShowInputError(edit, QString::fromLatin1(kInvalidInputText));
    });
    return false;
}

bool MaskEdit::KeyPressed(QEvent* event)
{
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && edited_) {
        edit_->setText(entryText_);
        edited_ = false;
        return true;
    }
    const QString text = key->text();
    if (!keyFilter || text.isEmpty())
        return false;
    const char32_t typed = text.toUcs4().value(0);
    // Delete carries the DEL character on some platforms: an editing key like Backspace,
    // never typed into the text.
    if (typed == 0x7F)
        return false;
    const std::optional<char32_t> result = keyFilter(typed);
    if (!result)
        return true;
    if (*result == typed)
        return false;
    QKeyEvent replaced(QEvent::KeyPress, key->key(), key->modifiers(),
                       QString::fromUcs4(&*result, 1), key->isAutoRepeat(), static_cast<ushort>(key->count()));
    QCoreApplication::sendEvent(edit_, &replaced);
    return true;
}

bool MaskEdit::MousePressed(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (delivering_ || mouse->button() != Qt::LeftButton || mouse->modifiers() != Qt::NoModifier)
        return false;
    const int end = EnteredEnd();
    if (edit_->cursorPositionAt(mouse->position().toPoint()) <= end)
        return false;
    // The edit takes the click as usual (a drag may start from it); then the caret goes back
    // to the end of the entered text, so typing never starts behind unfilled positions.
    delivering_ = true;
    QCoreApplication::sendEvent(edit_, event);
    delivering_ = false;
    if (!edit_->hasSelectedText())
        edit_->setCursorPosition(end);
    return true;
}

MaskEdit* MaskOf(QLineEdit* edit)
{
    return edit ? edit->findChild<MaskEdit*>("MaskEdit", Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace eemint
