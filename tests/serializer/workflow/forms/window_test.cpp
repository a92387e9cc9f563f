// Eemint's windows under the offscreen platform: start-up selection, the modes' enabling
// rules, the focus guard, masks and key filter, the description limit, the edit sequence
// New -> fields -> Advanced Setup -> OK -> Save, and the selection dialog. Modal dialogs are
// answered by a recording runner, so no test blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "aboutbox.h"
#include "advancedform.h"
#include "configurationstore.h"
#include "eemintforms.h"
#include "fieldhooks.h"
#include "infoform.h"
#include "modalrunner.h"
#include "productform.h"
#include "sdiappform.h"
#include "settingsstore.h"
#include "testenv.h"
#include "scopedsettings.h"
#include "tempdir.h"
#include "windowrules.h"

namespace eemint {
namespace {

bool Activate(QWidget& window);

// A modal dialog as the runner saw it.
struct Shown {
    std::string name;     // object name of the dialog
    std::string caption;  // window title when shown
    std::string text;     // the message of the info dialog or a message box
    QImage icon;          // the info dialog's icon
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetModalRunner([this](QDialog& dialog) { return Answer(dialog); });
    }

    void TearDown() override
    {
        forms_.reset();
        SetModalRunner(nullptr);
    }

    int Answer(QDialog& dialog)
    {
        Shown shown{dialog.objectName().toStdString(), dialog.windowTitle().toStdString(), {}};
        if (auto* data = dialog.findChild<QLabel*>("InfoFormData"))
            shown.text = data->text().toStdString();
        if (auto* icon = dialog.findChild<QLabel*>("InfoIcon"))
            shown.icon = icon->pixmap().toImage();
        if (auto* box = qobject_cast<QMessageBox*>(&dialog))
            shown.text = box->text().toStdString();
        shown_.push_back(shown);
        if (answers_.empty())
            return QDialog::Rejected;
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        return answer(dialog);
    }

    // Makes the windows; with `show`, shows the main window and waits for its first
    // activation, which selects the configuration.
    TSDIAppForm& Start(bool show = true)
    {
        forms_ = std::make_unique<EemintForms>();
        TSDIAppForm& window = *forms_->SDIAppForm();
        if (show) {
            window.show();
            EXPECT_TRUE(Activate(window));
        }
        return window;
    }

    // A store of its own on the same file, for arranging and checking what is stored.
    ConfigurationStore Store() { return ConfigurationStore(); }

    template <typename T = QWidget>
    T* Find(const char* name)
    {
        T* found = forms_->SDIAppForm()->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    std::string Text(const char* edit) { return MaskOf(Edit(edit))->Text(); }
    QAction* Item(const char* name) { return Find<QAction>(name); }
    std::string ModeText() { return Find<QLabel>("ModePanel")->text().toStdString(); }

    // Types into an edit as the operator does: focus, select all, keys.
    void Type(const char* edit, const QString& keys)
    {
        QLineEdit* e = Edit(edit);
        e->setFocus(Qt::TabFocusReason);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        e->home(false);
        QTest::keyClicks(e, keys);
    }
    void Leave() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }

    // New, then every identity field typed and left.
    void EnterIdentity(TSDIAppForm& window)
    {
        window.NewItemClick();
        Type("ManufacturerMaskEdit", "ACME");
        Leave();
        Type("ManufacturerIDMaskEdit", "AC");
        Leave();
        Type("VendorIDMaskEdit", "1234");
        Leave();
        Type("ProductIDMaskEdit", "ABCD");
        Leave();
        Type("DescriptionMaskEdit", "ACME Widget");
        Leave();
    }

    static ProductConfiguration Sample(const std::string& description)
    {
        ProductConfiguration config = DefaultProductConfiguration();
        config.description = description;
        config.maxPower = 90;
        return config;
    }

    testsupport::ScopedSettings settings_;
    std::unique_ptr<EemintForms> forms_;
    std::vector<Shown> shown_;
    std::deque<std::function<int(QDialog&)>> answers_;
};

int Accept(QDialog&) { return QDialog::Accepted; }

// Activation under the offscreen platform arrives late and may be taken back by a window
// shown just before: ask until the window is the active one.
bool Activate(QWidget& window)
{
    return QTest::qWaitFor([&] {
        if (QApplication::activeWindow() != &window)
            window.activateWindow();
        return QApplication::activeWindow() == &window;
    }, 5000);
}

// --- Start-up ------------------------------------------------------------------------

TEST_F(WindowTest, StartupWithEmptyStoreEntersEditModeWithBlankFields)
{
    TSDIAppForm& window = Start();
    EXPECT_EQ(window.Mode(), WindowMode::Edit);
    EXPECT_EQ(ModeText(), "MODE: Edit");
    EXPECT_EQ(Text("ManufacturerMaskEdit"), std::string(16, ' '));
    EXPECT_EQ(Text("VendorIDMaskEdit"), "    ");
    EXPECT_EQ(Text("DescriptionMaskEdit"), std::string(38, ' '));
    EXPECT_FALSE(Item("CancelItem")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>("CancelBtn")->isEnabled());
    EXPECT_TRUE(Edit("ManufacturerMaskEdit")->hasFocus());
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(Store().Names().empty());
}

TEST_F(WindowTest, StartupShowsTheCurrentConfigurationInProgramMode)
{
    ProductConfiguration stored = Sample("USB SERIAL CABLE");
    stored.rev4 = true;
    stored.fixedSerial = true;
    stored.fixedSerialText = "AB123456";
    const std::string name = Store().Save(stored);

    TSDIAppForm& window = Start();
    EXPECT_EQ(window.Mode(), WindowMode::Program);
    EXPECT_EQ(ModeText(), "MODE: Program");
    const ProductConfiguration shown = window.CurrentConfiguration();
    EXPECT_EQ(shown.description, "USB SERIAL CABLE" + std::string(22, ' '));
    EXPECT_EQ(shown.maxPower, 90);
    EXPECT_TRUE(shown.rev4);
    EXPECT_EQ(shown.fixedSerialText, "AB123456");
    EXPECT_TRUE(Find<QCheckBox>("IsoInCB")->isVisible());
    for (const char* item : {"NewItem", "OpenItem", "ProgramItem", "TestItem", "TestModemItem", "ReadItem",
                             "EraseItem", "ProgramToFileItem", "AdvancedItem"})
        EXPECT_TRUE(Item(item)->isEnabled()) << item;
    EXPECT_FALSE(Item("SaveItem")->isEnabled());
    EXPECT_FALSE(Item("CancelItem")->isEnabled());
    EXPECT_EQ(Store().Current(), name);
}

TEST_F(WindowTest, ARestoredDescriptionKeepsAllItsCharacters)
{
    ProductConfiguration stored = Sample(std::string(39, 'D') + "E");
    stored.manufacturer = "M";
    Store().Save(stored);
    TSDIAppForm& window = Start();
    EXPECT_EQ(window.CurrentConfiguration().description, stored.description);
}

TEST_F(WindowTest, StartupWithAStalePointerShowsAndStoresTheFirstConfiguration)
{
    ConfigurationStore store = Store();
    const std::string first = store.Save(Sample("A CABLE"));
    store.Save(Sample("B CABLE"));
    store.SetCurrent("gone (VID=0000 PID=0000)");

    TSDIAppForm& window = Start();
    EXPECT_EQ(window.Mode(), WindowMode::Program);
    EXPECT_EQ(TrimTrailingBlanks(Text("DescriptionMaskEdit")), "A CABLE");
    EXPECT_EQ(Store().Current(), first);
    EXPECT_TRUE(Edit("ManufacturerMaskEdit")->isReadOnly());
}

TEST_F(WindowTest, StartupWhoseFirstEntryHasNoManufacturerSavesTheInitialContents)
{
    {
        auto settings = platform::OpenSettingsStore();
        settings->WriteString("AAA broken", "Code", "XX");
    }
    ConfigurationStore store = Store();
    store.Save(Sample("LATER CABLE"));
    store.SetCurrent("gone");

    TSDIAppForm& window = Start();
    const std::string expected = "MAVIX MVC110 EVALUATION KIT (VID=3A7E PID=5C01)";
    EXPECT_EQ(Store().Current(), expected);
    ProductConfiguration saved;
    ASSERT_TRUE(Store().Restore(expected, saved));
    EXPECT_EQ(saved.manufacturerId, "MV");
    EXPECT_EQ(saved.maxPower, 50);
    EXPECT_EQ(window.Mode(), WindowMode::Program);
}

// --- Modes ---------------------------------------------------------------------------

TEST_F(WindowTest, EachModeSetsTheEnablingTable)
{
    Store().Save(Sample("CABLE"));
    TSDIAppForm& window = Start();
    auto enabled = [&](const char* name) {
        if (auto* item = window.findChild<QAction*>(name))
            return item->isEnabled();
        return Find<QToolButton>(name)->isEnabled();
    };
    // Each command after New (Edit mode, a configuration stored), then Program mode, then Auto
    // mode entered from Program, written out: Read and Erase go off in Edit mode, Cancel is on
    // in Edit mode because a configuration is stored, and Auto mode leaves Cancel as Program
    // mode set it.
    struct Expected {
        const char* control;
        bool edit, program, autoMode;
    };
    const Expected table[] = {
        {"NewItem", false, true, false},           {"NewBtn", false, true, false},
        {"OpenItem", false, true, false},          {"OpenBtn", false, true, false},
        {"SaveItem", false, false, false},         {"SaveBtn", false, false, false},
        {"ProgramItem", false, true, false},       {"ProgramBtn", false, true, false},
        {"ReadItem", false, true, false},          {"EraseItem", false, true, false},
        {"ProgramToFileItem", false, true, false}, {"AdvancedItem", false, true, false},
        {"AdvancedBtn", false, true, false},       {"TestItem", false, true, false},
        {"TestBtn", false, true, false},           {"TestModemItem", false, true, false},
        {"CancelItem", true, false, false},        {"CancelBtn", true, false, false},
        {"MultiProgramMode", false, true, false},
    };
    EXPECT_EQ(std::size(table), EnablingTable().size()) << "every command the modes switch is listed";
    auto expectTable = [&](bool Expected::*state, const char* mode) {
        for (const Expected& row : table)
            EXPECT_EQ(enabled(row.control), row.*state) << mode << " " << row.control;
    };
    auto advancedMaxPowerWritable = [&] {
        return !forms_->AdvancedForm()->findChild<QLineEdit*>("MaxPowerMaskEdit")->isReadOnly();
    };

    window.NewItemClick();
    EXPECT_EQ(ModeText(), "MODE: Edit");
    EXPECT_FALSE(Edit("VendorIDMaskEdit")->isReadOnly());
    EXPECT_TRUE(advancedMaxPowerWritable());
    expectTable(&Expected::edit, "Edit");

    window.DisableInputs();
    EXPECT_EQ(ModeText(), "MODE: Program");
    EXPECT_TRUE(Edit("VendorIDMaskEdit")->isReadOnly());
    EXPECT_FALSE(advancedMaxPowerWritable());
    expectTable(&Expected::program, "Program");

    window.Log("from before");
    window.AutoEnabledClick();
    EXPECT_TRUE(Find<QPlainTextEdit>("Logger")->toPlainText().isEmpty());
    EXPECT_TRUE(Item("AutoEnabled")->isChecked());
    EXPECT_EQ(window.Mode(), WindowMode::Auto);
    EXPECT_EQ(ModeText(), "MODE: Auto");
    EXPECT_TRUE(Edit("VendorIDMaskEdit")->isReadOnly());
    expectTable(&Expected::autoMode, "Auto");

    window.AutoEnabledClick();
    EXPECT_FALSE(Item("AutoEnabled")->isChecked());
    EXPECT_EQ(ModeText(), "MODE: Program");
}

// A disabled tool button is drawn grey and faint, far from its enabled look.
TEST_F(WindowTest, DisabledToolButtonsAreGreyAndFaint)
{
    TSDIAppForm& window = Start();  // Edit mode: New and Advanced Setup are disabled
    for (const char* name : {"NewBtn", "AdvancedBtn", "ProgramBtn"}) {
        QToolButton* button = Find<QToolButton>(name);
        const QImage normal = button->icon().pixmap(button->iconSize(), QIcon::Normal).toImage();
        const QImage disabled = button->icon().pixmap(button->iconSize(), QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), disabled.size()) << name;
        long normalAlpha = 0, disabledAlpha = 0;
        bool grey = true;
        for (int y = 0; y < normal.height(); ++y)
            for (int x = 0; x < normal.width(); ++x) {
                const QColor shown = disabled.pixelColor(x, y);
                normalAlpha += normal.pixelColor(x, y).alpha();
                disabledAlpha += shown.alpha();
                grey = grey && shown.red() == shown.green() && shown.green() == shown.blue();
            }
        EXPECT_TRUE(grey) << name;
        EXPECT_GT(normalAlpha, 0) << name;
        EXPECT_LE(disabledAlpha * 10, normalAlpha * 4) << name;  // at most 40% as opaque
        EXPECT_FALSE(button->isEnabled()) << name;
    }
    window.DisableInputs();
    EXPECT_TRUE(Find<QToolButton>("NewBtn")->isEnabled());
}

TEST_F(WindowTest, MultiProgramModeIsASwitchBackToProgram)
{
    Store().Save(Sample("CABLE"));
    TSDIAppForm& window = Start();
    Item("MultiProgramMode")->trigger();
    EXPECT_EQ(window.Mode(), WindowMode::MultiProgram);
    EXPECT_EQ(ModeText(), "MODE: MultiProgram");
    EXPECT_TRUE(Item("MultiProgramMode")->isChecked());
    EXPECT_TRUE(Item("ProgramItem")->isEnabled());
    Item("MultiProgramMode")->trigger();
    EXPECT_EQ(window.Mode(), WindowMode::Program);
    EXPECT_FALSE(Item("MultiProgramMode")->isChecked());
}

TEST_F(WindowTest, HiddenItemsStayHidden)
{
    Start();
    EXPECT_FALSE(Item("AutoEnabled")->isVisible());
    EXPECT_FALSE(Item("N4")->isVisible());
    EXPECT_FALSE(Find<QMenu>("Options1")->menuAction()->isVisible());
}

TEST_F(WindowTest, WindowsKeepTheirSizeAndOfferNoMaximizeButton)
{
    TSDIAppForm& window = Start();
    const std::vector<QWidget*> windows = {&window, forms_->AboutBox(), forms_->InfoForm(), forms_->ProductForm(),
                                           forms_->AdvancedForm()};
    for (QWidget* shown : windows) {
        const std::string name = shown->objectName().toStdString();
        shown->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown)) << name;
        EXPECT_FALSE(shown->windowFlags() & Qt::WindowMaximizeButtonHint) << name;
        EXPECT_TRUE(shown->windowFlags() & Qt::MSWindowsFixedSizeDialogHint) << name;
        EXPECT_EQ(shown->minimumSize(), shown->maximumSize()) << name;
        EXPECT_EQ(shown->size(), shown->minimumSize()) << name;
        if (auto* dialog = qobject_cast<QDialog*>(shown)) {
            EXPECT_FALSE(dialog->isSizeGripEnabled()) << name;
            dialog->hide();
        }
    }
    EXPECT_FALSE(window.statusBar()->isSizeGripEnabled());
}

// --- Focus guard ---------------------------------------------------------------------

TEST_F(WindowTest, ProgramModeKeepsTheFocusOutOfEveryField)
{
    Store().Save(Sample("CABLE"));
    TSDIAppForm& window = Start();
    ASSERT_EQ(window.Mode(), WindowMode::Program);
    for (const char* name : {"ManufacturerMaskEdit", "VendorIDMaskEdit", "DescriptionMaskEdit"}) {
        QTest::mouseClick(Edit(name), Qt::LeftButton);
        EXPECT_FALSE(Edit(name)->hasFocus()) << name;
    }
    QTest::mouseClick(Find<QCheckBox>("Rev4CB"), Qt::LeftButton);
    EXPECT_FALSE(Find<QCheckBox>("Rev4CB")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("Rev4CB")->hasFocus());
    QTest::mouseClick(Find<QPlainTextEdit>("Logger")->viewport(), Qt::LeftButton);
    EXPECT_FALSE(Find<QPlainTextEdit>("Logger")->hasFocus());

    window.NewItemClick();
    QTest::mouseClick(Edit("VendorIDMaskEdit"), Qt::LeftButton);
    EXPECT_TRUE(Edit("VendorIDMaskEdit")->hasFocus());
}

TEST_F(WindowTest, AdvancedDialogInProgramModeIsViewOnly)
{
    Store().Save(Sample("CABLE"));
    TSDIAppForm& window = Start();
    bool selfPoweredAfterClick = true;
    bool okHadFocus = false;
    // The dialog runs its own modal loop; a timer works it once it is active.
    answers_.push_back([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(Activate(dialog));
            auto* selfPowered = dialog.findChild<QCheckBox*>("SelfPoweredCheckBox");
            QTest::mouseClick(selfPowered, Qt::LeftButton);
            selfPoweredAfterClick = selfPowered->isChecked();
            okHadFocus = dialog.findChild<QPushButton*>("AdvancedOkBtn")->hasFocus();
            dialog.accept();
        });
        return dialog.exec();
    });
    window.AdvancedItemClick();
    EXPECT_FALSE(selfPoweredAfterClick);
    EXPECT_TRUE(okHadFocus);
    EXPECT_FALSE(Item("SaveItem")->isEnabled());
}

TEST_F(WindowTest, AdvancedOkDoesNotCloseOverAnIncompleteFixedSerialNumber)
{
    TSDIAppForm& window = Start();
    EnterIdentity(window);
    bool stayedOpen = false;
    answers_.push_back([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(Activate(dialog));
            QTest::mouseClick(dialog.findChild<QCheckBox*>("OptionsFSNCheckBox"), Qt::LeftButton);
            auto* serial = dialog.findChild<QLineEdit*>("FSNMaskEdit");
            QTest::mouseClick(serial, Qt::LeftButton, {}, QPoint(4, serial->height() / 2));
            QTest::keyClicks(serial, "AB");
            QTest::mouseClick(dialog.findChild<QPushButton*>("AdvancedOkBtn"), Qt::LeftButton);
            stayedOpen = dialog.isVisible() && serial->hasFocus();
            dialog.reject();
        });
        return dialog.exec();
    });
    answers_.push_back(Accept);  // the input error's message box
    window.AdvancedItemClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(Item("SaveItem")->isEnabled());
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].text, "Invalid input value.  Use escape key to abandon changes");
}

TEST_F(WindowTest, AdvancedDialogOptionsAndTheirResetByNew)
{
    Store().Save(Sample("CABLE"));
    TSDIAppForm& window = Start();
    TAdvancedForm& advanced = *forms_->AdvancedForm();
    auto* fsn = advanced.findChild<QCheckBox*>("OptionsFSNCheckBox");
    auto* serial = advanced.findChild<QLineEdit*>("FSNMaskEdit");

    advanced.SetSelfPowered(true);
    advanced.SetRemoteWakeup(false);
    EXPECT_EQ(advanced.GetAttributes(), 0xC0);
    fsn->setChecked(true);
    EXPECT_TRUE(serial->isEnabled());
    advanced.SetFixedSerialText("AB12");
    fsn->setChecked(false);
    EXPECT_FALSE(serial->isEnabled());
    EXPECT_EQ(advanced.GetFixedSerial(), "AB12    ");
    advanced.SetFixedSerial(true);

    window.NewItemClick();
    EXPECT_TRUE(advanced.GetPlugAndPlay());
    EXPECT_FALSE(advanced.HasFixedSerial());
    EXPECT_FALSE(serial->isEnabled());
    EXPECT_EQ(advanced.GetFixedSerial(), "        ");
    EXPECT_EQ(advanced.GetAttributes(), 0xA0);
    EXPECT_EQ(advanced.GetMaxPower(), 44);

    // In Edit mode the maximum power is typed; more than 500 counts as 500.
    auto* maxPower = advanced.findChild<QLineEdit*>("MaxPowerMaskEdit");
    maxPower->selectAll();
    QTest::keyClicks(maxPower, "999");
    EXPECT_EQ(advanced.GetMaxPower(), 500);
}

// --- Fields --------------------------------------------------------------------------

TEST_F(WindowTest, HexEditsTakeOnlyHexDigitsInUpperCase)
{
    TSDIAppForm& window = Start();
    window.NewItemClick();
    Type("VendorIDMaskEdit", "g-zb1");
    EXPECT_EQ(Text("VendorIDMaskEdit"), "B1  ");
    QTest::keyClick(Edit("VendorIDMaskEdit"), Qt::Key_Backspace);
    EXPECT_EQ(Text("VendorIDMaskEdit"), "B   ");
    // On X11 the Delete key carries the DEL character: an editing key, not a typed one.
    Edit("VendorIDMaskEdit")->home(false);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
    QApplication::sendEvent(Edit("VendorIDMaskEdit"), &del);
    EXPECT_EQ(Text("VendorIDMaskEdit"), "    ");
    EXPECT_EQ(HexKeyFilter('\b'), U'\b');
    EXPECT_EQ(HexKeyFilter('f'), U'F');
    EXPECT_EQ(HexKeyFilter('G'), std::nullopt);
}

TEST_F(WindowTest, SpacesTypedIntoANameAreKept)
{
    TSDIAppForm& window = Start();
    window.NewItemClick();
    Type("ManufacturerMaskEdit", "Hi there");
    EXPECT_EQ(Text("ManufacturerMaskEdit"), "Hi there        ");
    Type("ManufacturerIDMaskEdit", "");
    QTest::keyClick(Edit("ManufacturerIDMaskEdit"), Qt::Key_Right);  // a position left blank
    QTest::keyClicks(Edit("ManufacturerIDMaskEdit"), "M");
    EXPECT_EQ(window.CurrentConfiguration().manufacturerId, " M");
}

// Typing after a click in the middle of an empty edit stores exactly what was typed: the
// caret goes right after the entered text, not where the click landed.
TEST_F(WindowTest, TypingAfterAClickPastTheEnteredTextStoresExactlyTheTypedText)
{
    struct Case {
        const char* edit;
        const char* typed;
    };
    const Case cases[] = {
        {"ManufacturerMaskEdit", "Acme Devices"},
        {"ManufacturerIDMaskEdit", "AD"},
        {"DescriptionMaskEdit", "USB Serial Cable"},
    };
    Start();  // an empty store: Edit mode with blank fields
    for (const Case& c : cases) {
        QLineEdit* edit = Edit(c.edit);
        QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
        ASSERT_TRUE(edit->hasFocus()) << c.edit;
        EXPECT_EQ(edit->cursorPosition(), 0) << c.edit;
        QTest::keyClicks(edit, c.typed);
        EXPECT_EQ(TrimTrailingBlanks(Text(c.edit)), c.typed) << c.edit;
    }
}

TEST_F(WindowTest, AClickInsideTheEnteredTextPlacesTheCaretThere)
{
    Start();
    QLineEdit* edit = Edit("ManufacturerMaskEdit");
    const int middle = edit->height() / 2;
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 4, middle));
    QTest::keyClicks(edit, "  AB");  // leading blanks typed on purpose stay
    EXPECT_EQ(Text("ManufacturerMaskEdit"), "  AB            ");

    edit->setCursorPosition(3);
    const int insideX = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    edit->setCursorPosition(0);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(insideX, middle));
    EXPECT_EQ(edit->cursorPosition(), 3);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 4, middle));
    EXPECT_EQ(edit->cursorPosition(), 4);
    QTest::keyClicks(edit, "C");
    EXPECT_EQ(Text("ManufacturerMaskEdit"), "  ABC           ");
}

TEST_F(WindowTest, AnIncompleteRequiredFieldCannotBeLeftUntilEscape)
{
    TSDIAppForm& window = Start();
    window.NewItemClick();
    Type("VendorIDMaskEdit", "3A7E");
    Leave();
    Type("VendorIDMaskEdit", "12");
    Leave();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Edit("VendorIDMaskEdit")->hasFocus());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Invalid input value.  Use escape key to abandon changes");

    // Escape gives back the text found on entering; then the edit may be left.
    QTest::keyClick(Edit("VendorIDMaskEdit"), Qt::Key_Escape);
    EXPECT_EQ(Text("VendorIDMaskEdit"), "3A7E");
    Leave();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Edit("VendorIDMaskEdit")->hasFocus());
    EXPECT_EQ(shown_.size(), 1u);

    // Text set by the program is not checked: New blanks the edit, entering and leaving it
    // without typing is allowed.
    window.NewItemClick();
    Edit("VendorIDMaskEdit")->setFocus(Qt::TabFocusReason);
    Leave();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Edit("VendorIDMaskEdit")->hasFocus());
    EXPECT_EQ(shown_.size(), 1u);
}

TEST_F(WindowTest, DescriptionLimitFollowsTheManufacturer)
{
    TSDIAppForm& window = Start();
    window.NewItemClick();
    // With no manufacturer the description takes 40 characters once entered.
    Type("DescriptionMaskEdit", "0123456789012345678901234567890123456789X");
    EXPECT_EQ(Text("DescriptionMaskEdit"), "0123456789012345678901234567890123456789");
    Type("ManufacturerMaskEdit", "SIXTEEN CHARS 16");
    Leave();  // the manufacturer's exit applies the limit
    EXPECT_EQ(Text("DescriptionMaskEdit"), "012345678901234567890123  ");

    EXPECT_EQ(DescriptionLimit("SIXTEEN CHARS 16"), 24);
    EXPECT_EQ(DescriptionLimit(""), 38);
    EXPECT_EQ(DescriptionLimit("AB  "), 38);
    EXPECT_EQ(DescriptionLimit("ABC"), 37);
}

TEST_F(WindowTest, Rev4ShowsFourOptionsAndHidesSix)
{
    ProductConfiguration stored = Sample("CABLE");
    stored.rev4 = true;
    stored.intUsbVer = true;
    Store().Save(stored);
    TSDIAppForm& window = Start();
    const char* four[] = {"IsoInCB", "IsoOutCB", "IntPdEnCB", "IntSerNoCB"};
    const char* never[] = {"IntUSBVerCB", "IntUSBVerMaskEdit"};
    for (const char* name : four)
        EXPECT_TRUE(Find(name)->isVisible() && Find(name)->isEnabled()) << name;
    for (const char* name : never)
        EXPECT_FALSE(Find(name)->isVisible()) << name;

    window.NewItemClick();  // unchecks Rev4CB
    for (const char* name : four)
        EXPECT_FALSE(Find(name)->isVisible() || Find(name)->isEnabled()) << name;
    for (const char* name : never)
        EXPECT_FALSE(Find(name)->isVisible() || Find(name)->isEnabled()) << name;

    QTest::mouseClick(Find<QCheckBox>("Rev4CB"), Qt::LeftButton);
    ASSERT_TRUE(Find<QCheckBox>("Rev4CB")->isChecked());
    for (const char* name : four)
        EXPECT_TRUE(Find(name)->isVisible()) << name;
    for (const char* name : never)
        EXPECT_FALSE(Find(name)->isVisible()) << name;
}

// --- The edit sequence ---------------------------------------------------------------

TEST_F(WindowTest, AdvancedSetupOpensOnlyAfterTheCompletenessCheck)
{
    TSDIAppForm& window = Start();
    window.NewItemClick();
    EXPECT_FALSE(Item("AdvancedItem")->isEnabled());
    Type("ManufacturerMaskEdit", "ACME");
    Leave();
    Type("ManufacturerIDMaskEdit", "AC");
    Leave();
    Type("VendorIDMaskEdit", "1234");
    Leave();
    Type("ProductIDMaskEdit", "ABCD");
    Leave();
    EXPECT_FALSE(Item("AdvancedItem")->isEnabled());
    Type("DescriptionMaskEdit", "Widget");
    EXPECT_FALSE(Item("AdvancedItem")->isEnabled());  // not before an exit has run
    Leave();
    EXPECT_TRUE(Item("AdvancedItem")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("AdvancedBtn")->isEnabled());
}

TEST_F(WindowTest, SaveOpensOnlyAfterTheAdvancedDialogClosedWithOk)
{
    TSDIAppForm& window = Start();
    EnterIdentity(window);
    window.AdvancedItemClick();  // closed through the frame
    EXPECT_FALSE(Item("SaveItem")->isEnabled());
    answers_.push_back(Accept);
    window.AdvancedItemClick();
    EXPECT_TRUE(Item("SaveItem")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>("SaveBtn")->isEnabled());

    Item("SaveItem")->trigger();
    const std::string name = "ACME Widget (VID=1234 PID=ABCD)";
    EXPECT_EQ(window.Mode(), WindowMode::Program);
    EXPECT_EQ(window.statusBar()->currentMessage().toStdString(), "Saved as " + name);
    EXPECT_EQ(Store().Current(), name);
    ProductConfiguration saved;
    ASSERT_TRUE(Store().Restore(name, saved));
    EXPECT_EQ(saved.maxPower, 44);
    EXPECT_TRUE(shown_.size() == 2u);  // the two advanced dialogs, no message
}

TEST_F(WindowTest, SavedAsNoticeEndsWithTheNextHintOrModeChange)
{
    TSDIAppForm& window = Start();
    auto save = [&] {
        EnterIdentity(window);
        answers_.push_back(Accept);
        window.AdvancedItemClick();
        window.SaveItemClick();
        return window.statusBar()->currentMessage().toStdString();
    };
    EXPECT_EQ(save(), "Saved as ACME Widget (VID=1234 PID=ABCD)");
    QTest::mouseMove(Find("VendorIDLabel"));
    EXPECT_EQ(window.statusBar()->currentMessage().toStdString(), "");
    EXPECT_EQ(Find<QLabel>("HintPanel")->text().toStdString(), "Vendor ID (4 hexadecimal digits)");

    EXPECT_EQ(save(), "Saved as ACME Widget (VID=1234 PID=ABCD)");
    window.NewItemClick();
    EXPECT_EQ(window.statusBar()->currentMessage().toStdString(), "");
}

TEST_F(WindowTest, SaveWithABlankFieldSaysAllFieldsMustBeFilledIn)
{
    TSDIAppForm& window = Start();
    EnterIdentity(window);
    QCheckBox* rev4 = Find<QCheckBox>("Rev4CB");
    QTest::mouseClick(rev4, Qt::LeftButton);
    // A blank USB version counts only with the own-version option on.
    Type("DescriptionMaskEdit", "");
    window.SaveItemClick();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].caption, "Error");
    EXPECT_EQ(shown_[0].text, "All fields must be filled in");
    EXPECT_EQ(window.Mode(), WindowMode::Edit);
    EXPECT_TRUE(Store().Names().empty());

    ProductConfiguration config = Sample("CABLE");
    EXPECT_TRUE(ConfigurationComplete(config));
    config.rev4 = config.intUsbVer = true;
    config.usbVersion = "    ";
    EXPECT_FALSE(ConfigurationComplete(config));
    config.intUsbVer = false;
    EXPECT_TRUE(ConfigurationComplete(config));
    config.manufacturerId = "  ";
    EXPECT_FALSE(ConfigurationComplete(config));
}

TEST_F(WindowTest, CancelGoesBackToTheConfigurationShownBeforeNew)
{
    ConfigurationStore store = Store();
    store.Save(Sample("A CABLE"));
    ProductConfiguration shown = Sample("B CABLE");
    shown.maxPower = 120;
    store.Save(shown);  // current, though not first in the list
    TSDIAppForm& window = Start();
    window.NewItemClick();
    EXPECT_TRUE(Item("CancelItem")->isEnabled());
    Type("ManufacturerMaskEdit", "OTHER");
    Item("CancelItem")->trigger();
    EXPECT_EQ(window.Mode(), WindowMode::Program);
    EXPECT_EQ(TrimTrailingBlanks(Text("ManufacturerMaskEdit")), "MAVIX");
    EXPECT_EQ(TrimTrailingBlanks(Text("DescriptionMaskEdit")), "B CABLE");
    EXPECT_EQ(window.CurrentConfiguration().maxPower, 120);
}

TEST_F(WindowTest, SaveThatCannotBeWrittenStaysInEditMode)
{
    if (!testsupport::ScopedSettings::HasConfigFolder())
        GTEST_SKIP() << "the registry store has no folder to block";
    // The settings folder is a plain file, so nothing can be stored below it.
    const std::string blocked = (settings_.Folder() / "not-a-folder").string();
    FILE* file = std::fopen(blocked.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    testsupport::SetEnv("XDG_CONFIG_HOME", blocked);

    TSDIAppForm& window = Start();
    EnterIdentity(window);
    answers_.push_back(Accept);
    window.AdvancedItemClick();
    window.SaveItemClick();
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].caption, "Error");
    EXPECT_EQ(shown_[1].text.rfind("Failed to save the configuration", 0), 0u) << shown_[1].text;
    EXPECT_EQ(window.Mode(), WindowMode::Edit);
    EXPECT_TRUE(Item("SaveItem")->isEnabled());
    EXPECT_EQ(TrimTrailingBlanks(Text("ManufacturerMaskEdit")), "ACME");
}

// --- Hints ---------------------------------------------------------------------------

TEST_F(WindowTest, HintsOfControlsAndMenuItemsGoToTheFirstPanel)
{
    TSDIAppForm& window = Start();
    QLabel* panel = Find<QLabel>("HintPanel");
    QTest::mouseMove(Find("VendorIDLabel"));
    EXPECT_EQ(panel->text().toStdString(), "Vendor ID (4 hexadecimal digits)");
    QTest::mouseMove(Find("DescriptionMaskEdit"));
    EXPECT_EQ(panel->text().toStdString(), "Product Description");

    // The advanced dialog's hints go to the same panel.
    TAdvancedForm& advanced = *forms_->AdvancedForm();
    advanced.show();
    ASSERT_TRUE(Activate(advanced));
    // Moved through its own window: the dialog lies over the main window.
    QWidget* selfPowered = advanced.findChild<QWidget*>("SelfPoweredCheckBox");
    QTest::mouseMove(advanced.windowHandle(), selfPowered->mapTo(&advanced, selfPowered->rect().center()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel->text() == "Device is Self-Powered"; }, 2000))
        << panel->text().toStdString();
    advanced.hide();

    window.DisableInputs();
    QMenu* device = Find<QMenu>("Device1");
    device->popup(window.mapToGlobal(QPoint(40, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(device));
    QTest::mouseMove(device, device->actionGeometry(Item("EraseItem")).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel->text() == "Erase the device"; }, 2000))
        << panel->text().toStdString();
    device->close();

    // Tool buttons show the short part of their hint as a tip and have no long part.
    EXPECT_EQ(Find<QToolButton>("CancelBtn")->toolTip().toStdString(), "Cancel edit");
    EXPECT_TRUE(Find<QToolButton>("CancelBtn")->statusTip().isEmpty());
}

// --- Messages and the selection dialog -----------------------------------------------

TEST_F(WindowTest, StatusNoticeLeavesTheDialogCaptionedError)
{
    TSDIAppForm& window = Start(false);
    window.ShowStatus("Device erased OK");
    window.ShowError("Failed to open device");
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0].name, "TInfoForm");
    EXPECT_EQ(shown_[0].caption, "Status");
    EXPECT_EQ(shown_[0].text, "Device erased OK");
    EXPECT_EQ(shown_[1].caption, "Error");
    EXPECT_EQ(forms_->InfoForm()->windowTitle().toStdString(), "Error");

    // The notice shows the information icon, the error the error icon.
    auto icon = [&](QStyle::StandardPixmap which) {
        return forms_->InfoForm()->style()->standardIcon(which).pixmap(32, 32).toImage();
    };
    ASSERT_NE(icon(TInfoForm::kStatusIcon), icon(TInfoForm::kErrorIcon));
    EXPECT_EQ(shown_[0].icon, icon(QStyle::SP_MessageBoxInformation));
    EXPECT_EQ(shown_[1].icon, icon(TInfoForm::kErrorIcon));
}

TEST_F(WindowTest, SelectionDialogRemembersItsPositionAndNeverChoosesNothing)
{
    ConfigurationStore store = Store();
    const std::string a = store.Save(Sample("A CABLE"));
    const std::string b = store.Save(Sample("B CABLE"));
    const std::string c = store.Save(Sample("C CABLE"));  // current
    TSDIAppForm& window = Start();
    TProductForm& dialog = *forms_->ProductForm();
    auto* list = dialog.findChild<QListWidget*>("ProductsListBox");

    // First opening preselects the current configuration; OK on the second entry.
    int preselected = -1;
    answers_.push_back([&](QDialog&) {
        preselected = list->currentRow();
        list->setCurrentRow(1);
        dialog.OKButtonClick();
        return dialog.result();
    });
    window.OpenItemClick();
    EXPECT_EQ(preselected, 2);
    EXPECT_EQ(dialog.GetSelectedName(), b);
    EXPECT_EQ(Store().Current(), b);
    EXPECT_EQ(TrimTrailingBlanks(Text("DescriptionMaskEdit")), "B CABLE");

    // The next opening goes back to the same position, not to the pointer.
    Store().SetCurrent(a);
    answers_.push_back([&](QDialog&) {
        preselected = list->currentRow();
        return QDialog::Rejected;
    });
    window.OpenItemClick();
    EXPECT_EQ(preselected, 1);

    // A position beyond the end of a shrunken list selects the first entry.
    {
        auto settings = platform::OpenSettingsStore();
        settings->DeleteKey(b);
        settings->DeleteKey(c);
    }
    EXPECT_EQ(dialog.Execute(), QDialog::Rejected);
    EXPECT_EQ(list->currentRow(), 0);

    // OK with nothing selected, or with an empty list, leaves the dialog open.
    list->clearSelection();
    dialog.setResult(-1);
    dialog.OKButtonClick();
    EXPECT_EQ(dialog.result(), -1);
    platform::OpenSettingsStore()->DeleteKey(a);
    dialog.FormActivate();
    EXPECT_EQ(list->count(), 0);
    dialog.OKButtonClick();
    EXPECT_EQ(dialog.result(), -1);
    EXPECT_EQ(dialog.GetSelectedName(), b);
}

TEST_F(WindowTest, ProgramToFileCancelledWritesNothing)
{
    Store().Save(Sample("CABLE"));
    Start();
    Item("ProgramToFileItem")->trigger();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].name, "SaveDialog");
    EXPECT_TRUE(Find<QPlainTextEdit>("Logger")->toPlainText().isEmpty());
}

}  // namespace
}  // namespace eemint
