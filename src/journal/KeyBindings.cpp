#include "KeyBindings.h"

#include "TForm1.h"
#include "TForm11.h"
#include "TForm24.h"
#include "TForm25.h"
#include "catalogues/TForm26.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "ui/Forms.h"

#include <QDateEdit>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>

namespace KeyBindings {

namespace {

void onKeys(QWidget *window, std::initializer_list<QKeySequence> keys, std::function<void()> act)
{
    for (const QKeySequence &k : keys) {
        auto *s = new QShortcut(k, window);
        QObject::connect(s, &QShortcut::activated, window, act);
    }
}

// The button's caption with its key behind it
void showKey(QWidget *w, const QString &key)
{
    const auto *b = qobject_cast<QAbstractButton *>(w);
    w->setToolTip(b && !b->text().isEmpty() ? b->text() + QStringLiteral(" (") + key + QLatin1Char(')') : key);
}

// Enter and Space on a list: Enter presses the change button, Space does what
// a double click on the current row does.
class GridKeys : public QObject {
public:
    GridKeys(QTableView *grid, QPushButton *change) : QObject(grid), m_grid(grid), m_change(change) {}
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return QObject::eventFilter(o, e);
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->modifiers() & ~Qt::KeypadModifier)
            return false;
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            m_change->click(); // does nothing while the button is disabled
            return true;
        }
        if (k->key() == Qt::Key_Space) {
            const QModelIndex i = m_grid->currentIndex();
            if (i.isValid())
                emit m_grid->doubleClicked(i);
            return true;
        }
        return false;
    }

private:
    QTableView *m_grid;
    QPushButton *m_change;
};

// A day earlier or later in a date picker the user may change
void stepDay(QDateEdit *picker, int days, const std::function<void(const QDate &)> &choose)
{
    if (picker->isEnabled())
        choose(picker->date().addDays(days));
}

void dayKeys(QWidget *window, QDateEdit *picker, std::function<void(const QDate &)> choose)
{
    onKeys(window, {QKeySequence(Qt::ALT | Qt::Key_Left)}, [picker, choose]() { stepDay(picker, -1, choose); });
    onKeys(window, {QKeySequence(Qt::ALT | Qt::Key_Right)}, [picker, choose]() { stepDay(picker, 1, choose); });
    picker->setToolTip(QStringLiteral("Предыдущий день: Alt+←, следующий: Alt+→"));
}

class PickerKeys : public QObject {
public:
    PickerKeys(QPushButton *button, std::function<QDialog *()> picker, std::function<QLineEdit *()> box, AfterChoice after)
        : QObject(button), m_button(button), m_picker(std::move(picker)), m_box(std::move(box)), m_after(after)
    {
    }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return QObject::eventFilter(o, e);
        auto *k = static_cast<QKeyEvent *>(e);
        const QString t = k->text();
        if (t.isEmpty() || !t.at(0).isPrint() || t.at(0).isSpace()
            || (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return false; // Space still presses the button; Tab, Enter and Esc go on
        open(t);
        return true;
    }

private:
    void open(const QString &typed)
    {
        QDialog *picker = m_picker();
        if (!picker || !m_button->isEnabled())
            return;
        // The picker empties its search box while it opens; the typed text
        // goes in once it is on screen.
        QPointer<QDialog> p(picker);
        QPointer<QLineEdit> box(m_box());
        QTimer::singleShot(0, picker, [p, box, typed]() {
            if (!p || !p->isVisible() || !box || !box->isVisible())
                return;
            box->setText(typed);
            box->setFocus(Qt::OtherFocusReason);
            box->deselect();
            box->end(false);
        });
        picker->setResult(QDialog::Rejected);
        QPointer<QPushButton> button(m_button);
        button->click();
        if (!button)
            return;
        QWidget *next = m_after == AfterChoice::MoveOn && picker->result() == QDialog::Accepted ? nextTabStop(button) : nullptr;
        if (next)
            next->setFocus(Qt::TabFocusReason);
        else
            button->setFocus(Qt::OtherFocusReason);
    }

    QPushButton *m_button;
    std::function<QDialog *()> m_picker;
    std::function<QLineEdit *()> m_box;
    AfterChoice m_after;
};

} // namespace

QWidget *nextTabStop(QWidget *from)
{
    QWidget *window = from->window();
    for (QWidget *w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w->window() != window || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisibleTo(window))
            continue;
        if (w->focusProxy())
            continue; // its proxy comes up in the chain itself
        return w;
    }
    return nullptr;
}

void journal(TForm1 *w)
{
    onKeys(w, {QKeySequence(Qt::Key_Insert)}, [w]() { w->Button1->click(); });
    onKeys(w, {QKeySequence(Qt::Key_Delete)}, [w]() { w->Button3->click(); });
    onKeys(w, {QKeySequence(Qt::Key_F5)}, [w]() { w->Button8->click(); });
    QRadioButton *radios[] = {w->RadioButton1, w->RadioButton2, w->RadioButton3, w->RadioButton4};
    const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4};
    for (int i = 0; i < 4; ++i) {
        QRadioButton *r = radios[i];
        onKeys(w, {QKeySequence(Qt::CTRL | digits[i])}, [r]() { r->click(); });
        showKey(r, QStringLiteral("Ctrl+%1").arg(i + 1));
    }
    dayKeys(w, w->DateT, [w](const QDate &d) { w->chooseDay(d); });
    w->DBGrid2->installEventFilter(new GridKeys(w->DBGrid2, w->Button2));
    showKey(w->Button1, QStringLiteral("Insert"));
    showKey(w->Button2, QStringLiteral("Enter в списке"));
    showKey(w->Button3, QStringLiteral("Delete"));
    showKey(w->Button8, QStringLiteral("F5"));
    w->DBGrid2->setToolTip(QStringLiteral("Enter: изменить, пробел: закрыть или открыть позицию"));
}

void housekeeping(TForm25 *w)
{
    onKeys(w, {QKeySequence(Qt::Key_Insert)}, [w]() { w->Button5->click(); });
    onKeys(w, {QKeySequence(Qt::Key_Delete)}, [w]() { w->Button7->click(); });
    // The list has no refresh button; F5 reads it again as opening it does.
    onKeys(w, {QKeySequence(Qt::Key_F5)}, [w]() { w->readList(); });
    dayKeys(w, w->DTPcker1, [w](const QDate &d) { w->chooseDate(d); });
    w->DBGrid1->installEventFilter(new GridKeys(w->DBGrid1, w->Button6));
    showKey(w->Button5, QStringLiteral("Insert"));
    showKey(w->Button6, QStringLiteral("Enter в списке"));
    showKey(w->Button7, QStringLiteral("Delete"));
    w->DBGrid1->setToolTip(QStringLiteral("Enter: изменить, F5: перечитать"));
}

void pickerButton(QPushButton *button, std::function<QDialog *()> picker, std::function<QLineEdit *()> searchBox, AfterChoice after)
{
    button->installEventFilter(new PickerKeys(button, std::move(picker), std::move(searchBox), after));
    button->setToolTip(QStringLiteral("Выбрать из списка: начните печатать (или пробел)"));
}

void saveKey(QDialog *window, QPushButton *save)
{
    onKeys(window, {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}, [save]() { save->click(); });
    showKey(save, QStringLiteral("Ctrl+Enter"));
}

void entryEditor(TForm11 *w, Forms &f)
{
    Forms *forms = &f;
    pickerButton(w->Button3, [forms]() -> QDialog * { return forms->Form5; },
                 [forms]() { return forms->Form5 ? forms->Form5->Edit1 : nullptr; });
    pickerButton(w->Button4, [forms]() -> QDialog * { return forms->Form4; },
                 [forms]() { return forms->Form4 ? forms->Form4->Edit1 : nullptr; });
    saveKey(w, w->Button1);
}

void housekeepingEditor(TForm24 *w, Forms &f)
{
    Forms *forms = &f;
    pickerButton(w->Button3, [forms]() -> QDialog * { return forms->Form5; },
                 [forms]() { return forms->Form5 ? forms->Form5->Edit1 : nullptr; });
    pickerButton(w->Button4, [forms]() -> QDialog * { return forms->Form26; },
                 [forms]() { return forms->Form26 ? forms->Form26->Edit1 : nullptr; });
    saveKey(w, w->Button1);
}

} // namespace KeyBindings
