#pragma once
#include <QString>
#include <functional>

class QCheckBox;
class QDialog;
class QLineEdit;
class QPushButton;
class QWidget;

// Small pieces the windows build their controls from.
namespace Widgets {

// A new child of `parent` (label, radio button, check box...) with its
// caption and object name.
template <class T>
T *named(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *w = new T(caption, parent);
    w->setObjectName(QString::fromLatin1(objectName));
    return w;
}

// A push button that does not take Enter over when it has the focus: Enter
// still reaches the window's default button.
QPushButton *pushButton(QWidget *parent, const char *objectName, const QString &caption);

// A field that only shows what the program puts in it: read-only, no tab stop.
QLineEdit *shownField(QWidget *parent, const char *objectName, int minWidth);

// The editors' layout: `body` over a right-aligned row of Button1
// `saveCaption` (the default button; a click calls onSave) and Button2
// "Отмена" (closes the editor). The editor keeps the size its contents need.
struct SaveCancel {
    QPushButton *save;
    QPushButton *cancel;
};
SaveCancel saveCancelLayout(QDialog *editor, QWidget *body, const QString &saveCaption,
                            std::function<void()> onSave);

// Centres `w` over `owner` (or the screen when there is no owner on screen).
void centreOn(QWidget *w, const QWidget *owner);

// Each showing of `dialog` centres it over the window owner() returns (the
// screen when that is null or there is no owner) and gives `focus` the focus
// when it is visible; with OnShowAndActivation, so does every return to the
// dialog from another window. `focus` may be null: centring only.
enum class Refocus { OnShow, OnShowAndActivation };
void centreAndFocus(QDialog *dialog, std::function<const QWidget *()> owner, QWidget *focus, Refocus when);

// The "Выходной" box: bold white on red while checked, the normal look otherwise.
void showDayOff(QCheckBox *box);

} // namespace Widgets
