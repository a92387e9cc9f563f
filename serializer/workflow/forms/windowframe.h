// The frames of Eemint's windows. Every window keeps its size, so none offers a maximize
// button and the dialogs have no resize grip. User-interface thread only.
#pragma once

class QDialog;
class QMainWindow;

namespace eemint {

// A title, a close button and, where the window system can show it without a maximize
// button beside it, a minimize button. The caller fixes the size once the window is laid out.
void UseFixedFrame(QMainWindow& window);
// A title and a close button; the size follows the dialog's layout and nothing else.
void UseFixedFrame(QDialog& dialog);

}  // namespace eemint
