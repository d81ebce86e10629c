#pragma once
#include <QDialog>

class QTableWidget;
class QPushButton;
class QLabel;

// The administrator's list of users: add a user, change a code, change a
// role, switch a user off. Codes are typed in masked fields and never shown;
// the hashes never leave the database.
class UsersWindow : public QDialog {
    Q_OBJECT
public:
    explicit UsersWindow(const QString &connection, QWidget *parent = nullptr);

    QTableWidget *grid;
    QPushButton *addButton, *codeButton, *roleButton, *offButton, *closeButton;
    QLabel *defaultCodesNote; // shown while an active user still has a built-in code

    void reload();
    int currentId() const; // 0 when no row is selected

    // Steps behind the buttons (the buttons ask for the values first). Errors
    // are shown; true when done.
    bool addUser(const QString &name, const QString &role, const QString &code);
    bool changeCode(int id, const QString &code);
    bool changeRole(int id, const QString &role);
    bool switchOff(int id);

private:
    void addClicked();
    void codeClicked();
    void roleClicked();
    void offClicked();
    QString m_connection;
};
