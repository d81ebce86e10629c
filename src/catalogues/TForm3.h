#pragma once
#include <QDate>
#include <QDialog>

class Dataset;
class DatasetModel;
class QLineEdit;
class QPushButton;
class QTableView;
struct Forms;

// The products list: the catalogue itself (Tag 0) or a chooser for the
// operation editor (Tag 1).
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(Forms &forms, QWidget *parent = nullptr);

    int Tag = 0;
    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QLineEdit *Edit1; // search box
    QPushButton *Button1, *Button2, *Button3, *Button4;
    Dataset *Izdel_Smena; // the product's entries since a date
    Dataset *ii_oper;     // the product's operations

    // What a choice hands over (valid when pick() returned true).
    QString PickedName; // marka, trimmed
    qint64 PickedId = 0;

    // Main menu "Изделия".
    void openList();
    // The operation editor's chooser; true when a product was chosen.
    bool pick(int tag);

    // Named steps of the handlers
    void search(const QString &text);
    void addProduct();
    void changeProduct();
    void deleteProduct(const QDate &today);
    void choose();
    // Entries dated on or after this day make the deletion ask about them:
    // the 1st of the previous month's number in 2000 (January counts as 13).
    static QDate entriesThreshold(const QDate &today);

    void Button1Click() { addProduct(); }
    void Button2Click();
    void Button3Click() { deleteProduct(QDate::currentDate()); }
    void DBGrid1DblClick() { Button2Click(); }
    void Edit1Change();

private:
    int runModal();
    void showEditor(int recNo);
    Forms &f;
};
