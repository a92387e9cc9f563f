// Enter and exit events of the windows' controls, and masked edits that behave as the
// operator expects: an unfilled position is a blank character nobody types, read back as a
// space; a click past the entered text puts the caret right after it; an edit with required
// positions cannot be left after the operator changed it while a required position is still
// blank; Escape restores the text the edit had on entry. User-interface thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QObject>
#include <QString>

class QLineEdit;
class QWidget;

namespace eemint {

// Enter/exit callbacks for any control. Enter runs when the control receives the focus
// inside its window (also the first focus of a window), exit when the focus moves on to
// another control of the window; switching windows or opening a modal dialog or a menu is
// neither. While `inputBlocked` answers true, mouse presses on the control are swallowed,
// so a control the focus guard turns away cannot be toggled by the same click.
class FieldHooks : public QObject {
public:
    static FieldHooks* Attach(QWidget* control);  // owned by the control

    std::function<void()> onEnter;
    std::function<void()> onExit;
    std::function<bool()> inputBlocked;

protected:
    explicit FieldHooks(QWidget* control);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Focus handling shared with MaskEdit; return true when the event is consumed.
    virtual void Entered() {}
    virtual bool MayLeave() { return true; }
    virtual void Left() {}
    virtual bool KeyPressed(QEvent*) { return false; }
    virtual bool MousePressed(QEvent*) { return false; }

    QWidget* control_;
    bool suspended_ = false;   // lost the focus to another window, a dialog or a menu
    bool refocusing_ = false;  // taking the focus back after a refused exit
};

class MaskEdit : public FieldHooks {
public:
    // The blank of edits that show unfilled positions as spaces: a figure space, which has
    // no place in a single-byte text and so can never be typed as content.
    static constexpr char16_t kSpaceBlank = 0x2007;

    // Sets the mask (Qt input-mask syntax without the ";blank" part) on the edit.
    static MaskEdit* Attach(QLineEdit* edit, const QString& mask, QChar blank = QChar(kSpaceBlank));

    // Changes the mask, keeping as much of the text as the new mask holds.
    void SetMask(const QString& mask);
    // The text at the full mask width, blanks as spaces, single-byte (a character outside
    // Latin-1 reads as "?").
    std::string Text() const;
    // Sets the text as the program does: not checked, and the entry text is not touched.
    void SetText(const std::string& latin1);
    // True when every required position is filled.
    bool Complete() const;
    // The position right after the last filled position (a typed space counts as filled):
    // where typing goes on after a click past the entered text.
    int EnteredEnd() const;

    // Filters typed characters: nothing discards the key, another character replaces it.
    std::function<std::optional<char32_t>(char32_t)> keyFilter;

    static constexpr const char* kInvalidInputText =
        "Invalid input value.  Use escape key to abandon changes";

private:
    MaskEdit(QLineEdit* edit, QChar blank);
    void Entered() override;
    bool MayLeave() override;
    void Left() override;
    bool KeyPressed(QEvent* event) override;
    bool MousePressed(QEvent* event) override;

    QLineEdit* edit_;
    QChar blank_;
    QString entryText_;     // the display text when the operator entered the edit
    bool edited_ = false;   // the operator changed the text since entering
    bool delivering_ = false;  // handing a click to the edit itself
};

// The MaskEdit attached to an edit, or nullptr.
MaskEdit* MaskOf(QLineEdit* edit);

}  // namespace eemint
