#pragma once
#include "db/Decimal.h"

#include <optional>
#include <QDate>
#include <QDialog>
#include <QUuid>

class Dataset;
class DigitEdit;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct Forms;

// The housekeeping entry editor: one row of accounts_dep.fatigue, added
// (Tag 0) or changed (any other Tag), with its day cell of the hours
// timesheet kept in step.
class TForm24 : public QDialog {
    Q_OBJECT
public:
    explicit TForm24(Forms &forms, QWidget *parent = nullptr);

    int Tag = 0; // 0 = add, anything else = change

    QGroupBox *GroupBox1;
    QLineEdit *Edit1;        // worker's name (picked)
    QPushButton *Button3;    // worker picker
    QLineEdit *Edit2;        // nomenclature group (picked)
    QPushButton *Button4;    // nomenclature picker
    DigitEdit *Edit6;        // hours
    QLineEdit *DBEdit1;      // price of one hour of the chosen kind
    QLineEdit *DBEdit2;      // price x hours
    QCheckBox *CBox1;        // "Ночные"
    QComboBox *cb_type_work; // work kind 7777 / 7778
    QLabel *Label1, *Label2, *Label3, *Label4;
    QPushButton *Button1;    // "Записать"
    QPushButton *Button6;    // "Выход"
    Dataset *type_work;      // the two work kinds with their hourly norm prices

    // The editor's own values; 0 = none chosen
    qint64 id_nom = 0;
    int id_p = 0;
    // Made when the editor opens: a press after an unknown outcome finds the stored row by it.
    QUuid saveKey;

    // Openers used by the list
    void prepareAdd();
    void prepareEdit(); // from the list's current row; an empty list leaves nothing chosen
    int addEntry();     // prepareAdd + modal run; type_work closed afterwards
    int editEntry();    // prepareEdit + modal run

    // The kind chosen in cb_type_work (0 when none) and its hourly price (empty when none)
    int workKind() const;
    std::optional<Decimal> kindPrice() const;
    void setWorkKind(int kind);
    static QString priceText(const Decimal &price); // general format, "." as decimal point
    static bool priceFits(const Decimal &price);    // the price column can hold it

    // Named steps
    void fillKinds();        // cb_type_work from type_work
    void showKind();         // DBEdit1 / DBEdit2 follow the chosen kind and the hours
    bool save();             // true when written; every refusal is shown after the write's transaction has ended
    void pickWorker();
    void pickNomenclature();

    void Button1Click();
    void Button3Click() { pickWorker(); }
    void Button4Click() { pickNomenclature(); }

    // The entry the last successful save wrote (0 before any).
    qint64 lastSavedId() const { return m_lastSavedId; }

private:
    qint64 m_lastSavedId = 0;
    Forms &f;
};
