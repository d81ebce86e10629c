#pragma once
#include "db/Dataset.h"

#include <QDialog>

class QDateEdit;
class QGroupBox;
class QPushButton;
class QRadioButton;
class ReportForm;
struct Forms;

// Summary reports of a period: four printed reports by workers and by
// products, and the export of a product summary to a spreadsheet, each
// limited to finished products or blanks by the choice in RadioGroup1.
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

    Dataset XLS_Rep; // the export's query; parameters data1, data2

    void Button1Click(); // detailed report by workers
    void Button2Click(); // report by products
    void Button3Click(); // detailed report by products
    void Button4Click(); // report by workers
    void Button6Click(); // spreadsheet export

private:
    void printReport(ReportForm *report, const QString &titleText, QPushButton *button);
    Forms &f;
};
