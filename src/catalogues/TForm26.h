#pragma once
#include <QDialog>

class Dataset;
class DatasetModel;
class QLineEdit;
class QPushButton;
class QTableView;
struct Forms;

// The nomenclature picker: chooses a level-2 group for the housekeeping
// entry editor.
class TForm26 : public QDialog {
    Q_OBJECT
public:
    explicit TForm26(Forms &forms, QWidget *parent = nullptr);

    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QPushButton *Button1; // "Выбрать"
    QLineEdit *Edit1;     // search box
    QPushButton *Button4; // "Выход"
    Dataset *item;

    // What a choice hands over (valid when pick() returned true).
    qint64 PickedId = 0;
    QString PickedName; // s_caption

    // Opens item, shows the picker, closes item; true when a group was chosen.
    bool pick();

    void search(const QString &text);
    void choose();
    void Button1Click() { choose(); }
    void DBGrid1DblClick() { choose(); }
    void Edit1Change();

private:
    Forms &f;
};
