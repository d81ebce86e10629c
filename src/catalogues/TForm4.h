#pragma once
#include <QDialog>
#include <optional>

#include "journal/OperationChoice.h"

class Dataset;
class DatasetModel;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableView;
struct Forms;

// The operations list on the shared query Oper: the catalogue itself (Tag 0)
// or a chooser for the entry editors (Tag 1). A chooser reads each
// operation's final price beside it, as the database will store it, and
// hands the chosen row over as a value (choice()).
class TForm4 : public QDialog {
    Q_OBJECT
public:
    explicit TForm4(Forms &forms, QWidget *parent = nullptr);

    int Tag = 0;
    QTableView *DBGrid1;
    DatasetModel *gridModel;
    QLineEdit *Edit1;     // search box
    QCheckBox *CheckBox1; // "Цены": a double click opens the norms
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5;
    Dataset *XLS_Rep; // every operation, with or without norms, for the export

    // Main menu "Цены": opens Oper, shows the list, closes Oper.
    void openList();
    // The entry editors' chooser: opens Oper on its first row (operId < 0) or
    // on the operation operId, priced for `shift` and `dayOff`; true when an
    // operation was chosen, which choice() then holds.
    bool pick(int tag, int operId = -1, int shift = 1, bool dayOff = false);
    std::optional<OperationChoice> choice() const { return m_choice; }

    // Named steps of the handlers
    void search(const QString &text);
    void addOperation();
    void changeOperation();
    void deleteOperation();
    void choose();
    // The norms of an operation (the current one when operId < 0).
    void showNorms(int operId = -1);
    void exportToExcel();

    void Button1Click() { addOperation(); }
    void Button2Click();
    void Button3Click() { deleteOperation(); }
    void Button5Click() { exportToExcel(); }
    void DBGrid1DblClick();
    void Edit1Change();

    // The column-4 text of the export and the list
    static QString productKindText(int naimen);

protected:
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;
    void done(int r) override;

private:
    void applyMode();
    void filterOffKeepingRow();
    Forms &f;
    std::optional<OperationChoice> m_choice;
};
