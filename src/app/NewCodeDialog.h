#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// A built-in user's first sign-in: the code everyone knows is replaced by a
// personal one before the journal opens (the database lets the session do
// nothing else until then). The users' code rules hold.
class NewCodeDialog : public QDialog {
    Q_OBJECT
public:
    NewCodeDialog(const QString &connection, const QString &userName, QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *Edit1;     // the new code
    QLineEdit *Edit2;     // the same again
    QPushButton *Button1; // "Записать"
    QPushButton *Button2; // "Отмена"

    // Checks both fields and stores the code; false (with a message, the
    // focus on the field to mend) when refused.
    bool save();

private:
    QString m_connection;
};
