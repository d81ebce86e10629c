#pragma once
#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;
struct Forms;

// The operation kind editor: one kind's name.
class TForm9 : public QDialog {
    Q_OBJECT
public:
    explicit TForm9(Forms &forms, QWidget *parent = nullptr);

    int Tag = 1; // 1 = add; anything else saves as a change of the list's current kind
    QGroupBox *GroupBox1;
    QLineEdit *Edit1; // "Операция"
    QPushButton *Button1, *Button2;

    // Saves; false (and nothing written) when refused.
    bool save();
    void Button1Click();

private:
    Forms &f;
};
