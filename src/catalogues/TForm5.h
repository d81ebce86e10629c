#pragma once
#include <QDialog>

class DatasetModel;
class QLineEdit;
class QPushButton;
class QTableView;
struct Forms;

// The workers list: the catalogue itself (Tag 0) or a chooser for the shift
// entry editor (Tag 1) and the housekeeping entry editor (Tag 24).
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(Forms &forms, QWidget *parent = nullptr);

    int Tag = 0;
    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QLineEdit *Edit1; // search box
    QPushButton *Button1, *Button2, *Button3, *Button4;

    // What a choice hands over (valid when pick() returned true).
    QString PickedName; // fio, trimmed
    int PickedId = 0;

    // Main menu "Рабочие": the catalogue with adding, changing and deleting.
    void openList();
    // A caller's chooser: Tag 1 or 24; true when a worker was chosen.
    bool pick(int tag);

    // Named steps of the handlers
    void search(const QString &text);
    void addWorker();
    void changeWorker();
    void deleteWorker();
    void choose();

    void Button1Click() { addWorker(); }
    void Button2Click();
    void Button3Click() { deleteWorker(); }
    void DBGrid1DblClick() { Button2Click(); }
    void Edit1Change() { search(currentSearchText()); }

private:
    QString currentSearchText() const;
    int runModal(); // shows the list; Workers is closed when it returns
    void readWorkers(int recNo); // close, open, cursor back to recNo when there are rows
    Forms &f;
};
