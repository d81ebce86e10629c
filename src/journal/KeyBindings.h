#pragma once
#include <functional>

class QDialog;
class QLineEdit;
class QPushButton;
class QWidget;
class TForm1;
class TForm11;
class TForm24;
class TForm25;
struct Forms;

// The keyboard of the journal windows. Every key does what its button (or
// the grid's double click) does, through that same button, so a button the
// signed-in role may not use leaves its key without effect too.
namespace KeyBindings {

// Insert, Enter and Space on the grid, Delete, F5, Ctrl+1..Ctrl+4, Alt+Left
// and Alt+Right; the keys are named in the tooltips.
void journal(TForm1 *w);
// The same keys in the housekeeping list (it has no shifts).
void housekeeping(TForm25 *w);

// A picker button of an editor: a character typed while it has the focus
// opens the picker (through the button) with that character in the
// picker's search box. When the picker hands a row back, the focus moves to
// the next control of the tab order, or stays on the button with
// StayOnButton (a list that is picked from repeatedly).
enum class AfterChoice { MoveOn, StayOnButton };
void pickerButton(QPushButton *button, std::function<QDialog *()> picker, std::function<QLineEdit *()> searchBox,
                  AfterChoice after = AfterChoice::MoveOn);
// Ctrl+Enter anywhere in `window` presses `save`.
void saveKey(QDialog *window, QPushButton *save);

void entryEditor(TForm11 *w, Forms &forms);
void housekeepingEditor(TForm24 *w, Forms &forms);

// The next control the Tab key would visit after `from` (null when none).
QWidget *nextTabStop(QWidget *from);

} // namespace KeyBindings
