#pragma once
#include "records/Pricing.h"
#include <QDate>
#include <QDialog>
#include <QUuid>
#include <optional>

#include "OperationChoice.h"
#include "db/Decimal.h"

class Dataset;
class DigitEdit;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct Forms;

// The shift entry editor: one row of accounts_dep.smena, added (Tag 1) or
// changed (any other Tag), and the worker's day cell of the hours timesheet
// kept in step with it.
class TForm11 : public QDialog {
    Q_OBJECT
public:
    explicit TForm11(Forms &forms, QWidget *parent = nullptr);
    ~TForm11() override;

    int Tag = 1; // 1 = add, anything else saves as a change

    QGroupBox *GroupBox1;
    QLineEdit *Edit1;          // worker's name (picked)
    QPushButton *Button3;      // worker picker
    QLineEdit *Edit2;          // operation text (picked)
    QPushButton *Button4;      // operation picker
    DigitEdit *Edit3;          // quantity
    DigitEdit *Edit6;          // hours
    DigitEdit *Edit5;          // colour code, painting operations only
    QDateEdit *DTimeP;         // date of the entry
    DigitEdit *Edit4;          // defects
    QLineEdit *Edit8;          // base price
    QLineEdit *Edit7;          // final price
    QLineEdit *Edit9;          // quantity x final price
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10;
    QPushButton *Button1;      // "Запись"
    QPushButton *Button2;      // "Отмена"

    // The editor's own values; they live from one opening to the next.
    int w_id = 0;
    int i_id = 0;
    int o_id = 0;
    Decimal cena; // the final piece price: as the database priced the picked operation, or as stored
    bool repriced = false; // the operation was picked in this opening: the database prices the entry anew
    bool painting = false; // the entry's operation takes a colour code
    // The entry being changed, and where the journal showed it when the editor opened
    qint64 editedId = 0;
    int openedWorker = 0, openedShift = 0;
    QDate openedDate;
    // Made when the editor opens: a press after an unknown outcome finds the stored row by it.
    QUuid saveKey;
    // List price of the operation, shown as "Цена база"; empty when unknown.
    std::optional<Decimal> basePrice;
    bool approximate = false; // no server answered: the price is the operations list's copy ("≈")

    // Openers used by the journal window
    void prepareAdd();   // "Добавить": fields, caption, Tag 1
    bool prepareEdit();  // "Изменить": false (nothing done) on an empty journal
    int addEntry();      // prepareAdd + modal run
    int editEntry();     // prepareEdit + modal run; the journal cursor returns afterwards

    // A price or sum as the editor shows it: rounded to four places, general
    // format, the user's decimal separator
    static QString formatNumber(const Decimal &v);
    static QString operationText(const QString &marka, const QString &vid, int naimen)
    {
        return OperationChoice::describe(marka, vid, naimen);
    }

    // Named steps of the handlers
    void setWorker(const QString &name, int id);
    void setOperation(const OperationChoice &op); // as the operations list hands it over
    void updateColourField();     // enabled only for a painting operation
    void recomputeDisplays();
    // True when written. Every refusal (and a database error) is shown after
    // the write's transaction has ended; the window keeps what was typed.
    bool save();
    void clearFields();
    // The entry the last successful "Запись" stored or changed (0 before any)
    qint64 lastSavedId() const { return m_lastSavedId; }

    // The largest quantity (and number of defects) and hours one entry takes: the database's limits
    static constexpr int MaxPieces = Pricing::MaxPieces;
    static constexpr int MaxHours = Pricing::MaxEntryHours;
    // The first required field left empty (in the order of the window), or null
    QLineEdit *firstEmptyField() const;
    // A field marked as the one to fill or correct (a red frame); the mark
    // goes when the field's text changes.
    static void markField(QLineEdit *field);
    static bool isMarked(const QWidget *field);

    void pickWorker();
    void pickOperation();

    void Button1Click();
    void Button2Click() { reject(); }
    void Button3Click() { pickWorker(); }
    void Button4Click() { pickOperation(); }

    // The journal window's state the editor works with
    int currentShift() const;
    bool dayOff() const;
    Dataset *journal() const;

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    // Refuses a value no entry can have, naming the field; the focus goes there.
    bool withinLimits();
    void refuseAt(QLineEdit *field, const QString &message);
    Forms &f;
    qint64 m_lastSavedId = 0;
};
