#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
class QTimer;
struct Forms;

// Sign-in: a role name or an access code decides what the journal allows.
class TForm23 : public QDialog {
    Q_OBJECT
public:
    explicit TForm23(Forms &forms, QWidget *parent = nullptr);

    QLineEdit *Edit1;
    QPushButton *Button1; // "Вход"
    QPushButton *Button2; // "Отмена"
    QTimer *Timer1;       // ends the program after a failed version check

    // The sign-in itself; returns true when X was accepted (the journal step
    // then runs unless `showJournal` is false, which tests use).
    bool signIn(bool showJournal = true);
    static bool isAccessCode(const QString &x);

    void FormActivate();
    void Button1Click() { signIn(true); }
    void Button2Click();
    void Timer1Timer();

protected:
    bool event(QEvent *e) override;

private:
    void applyRestrictions(const QString &role);
    void journalStep();
    Forms &f;
    bool m_activatedOnce = false;
};
