#pragma once
#include <QDialog>

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
    // Lookup tables
    Dataset *department, *staffpos, *roles;

    // Re-reads the three lookup lists, keeping the choice made in each.
    void readLookups();
    // Saves; false (and nothing written) when the name is blank or the
    // database refused (the user has been told why).
    bool save();
    void Button1Click();

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    Forms &f;
};
