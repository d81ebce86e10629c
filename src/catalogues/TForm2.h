#pragma once
#include <QDialog>

class Command;
class Dataset;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
struct Forms;

// The worker editor: one worker's name and position text.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(Forms &forms, QWidget *parent = nullptr);
    ~TForm2() override;

    int Tag = 1;      // 1 = add; anything else saves as a change
    int workerId = 0; // the worker being changed
    QGroupBox *GroupBox1;
    QLineEdit *Edit1; // "ФИО"
    QComboBox *LCB_department, *LCB_staffpos, *LCB_roles;
    QPushButton *Button1, *Button2;
    // Lookup tables and the command every worker write goes through
    Dataset *department, *staffpos, *roles;
    Command *cmd_person;

    // Re-reads the three lookup lists, keeping the choice made in each.
    void readLookups();
    // Saves; false (and nothing written) when the name is blank.
    bool save();
    void Button1Click();

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    Forms &f;
};
