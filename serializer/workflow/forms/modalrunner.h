// Every modal dialog of Eemint's windows runs through here, so that tests can answer a
// dialog (or record it) instead of blocking in its event loop. User-interface thread only.
#pragma once

#include <functional>

class QDialog;
class QWidget;
class QString;

namespace eemint {

// Shows the dialog modally and returns its result (QDialog::Accepted or Rejected).
int RunModal(QDialog& dialog);

// Replaces the modal loop (nullptr: the dialog's own exec()). The runner receives the
// configured dialog and returns the result the dialog would have closed with.
using ModalRunner = std::function<int(QDialog&)>;
void SetModalRunner(ModalRunner runner);

// A message box with an OK button and a stop icon, captioned with the parent's window title,
// for the edits' own input errors.
void ShowInputError(QWidget* parent, const QString& text);

}  // namespace eemint
