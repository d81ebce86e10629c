#pragma once
#include <QDialog>

class QDateEdit;
class QGroupBox;
class QPushButton;
class QRadioButton;
struct Forms;

// Summary reports of a period. The reports themselves come with the reports
// subsystem; this window already carries the controls the roles restrict.
class TForm18 : public QDialog {
    Q_OBJECT
public:
    explicit TForm18(Forms &forms, QWidget *parent = nullptr);

    QGroupBox *RadioGroup1; // "Вид продукции"
    QRadioButton *RadioGroup1Items[3];
    QDateEdit *DTPicker1, *DTPicker2;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6;

    // 0 "Все", 1 "Готовая продукция", 2 "Заготовки"
    int productKind() const;
    void setProductKind(int index);
    // The preset period: the whole previous month.
    void presetPeriod(const QDate &today);

private:
    Forms &f;
};
