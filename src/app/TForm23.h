#pragma once
#include <QDialog>
#include <functional>

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

    // After this many wrong codes in a row the next try waits kWaitMs.
    static constexpr int kWrongTries = 5;
    static constexpr qint64 kWaitMs = 30000;
    // Milliseconds of a steady clock; tests put in their own.
    std::function<qint64()> clock;

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
    int m_wrongTries = 0;
    qint64 m_waitUntil = 0;
};
