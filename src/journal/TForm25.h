#pragma once
#include <QDate>
#include <QDialog>

class Dataset;
class DatasetModel;
class QCheckBox;
class QDateEdit;
class QPushButton;
class QTableView;
struct Forms;

// The housekeeping and average-piecework entries (accounts_dep.fatigue) of
// one date, with the recalculation of the average-piecework prices of its
// month.
class TForm25 : public QDialog {
    Q_OBJECT
public:
    explicit TForm25(Forms &forms, QWidget *parent = nullptr);

    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QPushButton *Button5; // "Добавить"
    QPushButton *Button6; // "Изменить"
    QPushButton *Button7; // "Удалить"
    QDateEdit *DTPcker1;  // the list date
    QPushButton *Button1; // "Расчитать ср.сд."
    QCheckBox *CBox1;     // "Выходной"
    QPushButton *Button8; // "Выход"
    Dataset *fatigue;     // the list

    int shiftValue = 1; // the shift written into new entries

    QDate listDate() const;
    bool dayOff() const;

    // The journal's "Ср.сд./хоз. работы": the list for that date, modal.
    int openFor(const QDate &date);

    // Named steps the handlers run
    void readList();                      // close, d_date = list date, open
    void chooseDate(const QDate &d);      // as when the user changes the picker
    void deleteEntry();                   // "Удалить"
    void showEntry(qint64 id);            // the entry becomes the current row, scrolled into view
    void recalculate();                   // "Расчитать ср.сд."

    void FormActivate();
    void DTPcker1Change();
    void CBox1Click();
    void Button5Click();
    void Button6Click();
    void Button7Click() { deleteEntry(); }
    void Button1Click() { recalculate(); }
    void DBGrid1DblClick() { Button6Click(); }

signals:
    // The list was read (opening, a new date, F5).
    void listRead();

protected:
    void showEvent(QShowEvent *e) override;

private:
    Forms &f;
};
