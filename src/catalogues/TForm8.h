#pragma once
#include <QDialog>

class DatasetModel;
class QLineEdit;
class QPushButton;
class QTableView;
struct Forms;

// The operation kinds list: the catalogue itself (Tag 0) or a chooser for
// the operation editor (Tag 1).
class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(Forms &forms, QWidget *parent = nullptr);

    int Tag = 0;
    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QLineEdit *Edit1; // search box, shown only for picking
    QPushButton *Button1, *Button2, *Button3, *Button4;

    // What a choice hands over (valid when pick() returned true).
    QString PickedName; // vid, trimmed
    int PickedId = 0;

    // Main menu "Операции".
    void openList();
    // The operation editor's chooser; true when a kind was chosen.
    bool pick(int tag);

    // Named steps of the handlers
    void search(const QString &text);
    void addKind();
    void changeKind();
    void deleteKind();
    void choose();

    void Button1Click() { addKind(); }
    void Button2Click();
    void Button3Click() { deleteKind(); }
    void DBGrid1DblClick() { Button2Click(); }
    void Edit1Change();

private:
    Forms &f;
};
