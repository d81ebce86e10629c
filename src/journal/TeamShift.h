#pragma once
#include <QDate>
#include <QDialog>
#include <QList>
#include <QTableWidget>
#include <QUuid>
#include <functional>
#include <optional>

#include "OperationChoice.h"

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
struct Forms;

// The grid of a team's shift: Enter moves down the column, so a column of
// quantities (or hours) is keyed in one go.
class TeamGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TeamGrid(QWidget *parent = nullptr);
    // The cell being typed in is stored, as when it is left.
    void commitTyping();
    // The columns keyed in, left to right. Enter on the last row goes on to
    // the top of the next one of them that is shown.
    QList<int> keyedColumns;

protected:
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;

private:
    void moveDown();
};

// "Бригада": one operation done by several workers on the journal's day and
// shift, keyed as one grid. Every row becomes one entry with the entry
// editor's price rule, colour rule and duplicate check, saved on its own;
// a refused row keeps its message in the grid while the others are saved.
class TeamShift : public QDialog {
    Q_OBJECT
public:
    explicit TeamShift(Forms &forms, QWidget *parent = nullptr);

    enum Column { Name, Quantity, Defects, Hours, Colour, Price, Sum, Result, Columns };

    QLabel *DayLabel;
    QLineEdit *OperationEdit;
    QPushButton *OperationButton;
    QPushButton *AddWorkerButton;
    QPushButton *LastTimeButton;
    QPushButton *RemoveWorkerButton;
    QLineEdit *ColourEdit; // the colour every new row starts with (painting operations)
    TeamGrid *Grid;
    QPushButton *SaveButton;
    QPushButton *CloseButton;

    // Adds the opener ("Бригада") to the journal's row of buttons, after
    // "Обновить". It is usable while "Добавить" is: the roles that add entries.
    static QPushButton *addOpener(QWidget *journal, QHBoxLayout *buttons, QWidget *after, QPushButton *addButton,
                                  std::function<TeamShift *()> window);

    // A fresh team for a day and shift of the journal, then modal.
    void prepare(const QDate &date, int shift, bool dayOff);
    int openFromJournal();

    // The operation, as the operations list hands it over
    void setOperation(const OperationChoice &op);
    void pickOperation();
    void pickWorker();
    // False when the worker is in the grid already (the cursor goes there).
    bool addWorker(int id, const QString &fio);
    // The workers who did the operation on the last earlier day that has it;
    // returns how many were added.
    int sameAsLastTime();
    void removeCurrentWorker();

    // Saves every row not saved yet, each in a transaction of its own;
    // returns how many rows were saved now. Refused rows keep their message.
    // Rows with neither pieces nor defects are saved only when the user says
    // so (a digit lost in typing must not pass unseen).
    int save();

    // The question before saving work of neither pieces nor defects, naming
    // the workers ("Тарасов Ю.Н." keeps its one point).
    static QString nothingDoneQuestion(const QStringList &names, const QString &what);
    // The entry of the last row the last save stored (0 when none); that row
    // is current in the grid afterwards.
    qint64 lastSavedId() const { return m_lastSavedId; }

    int rows() const { return m_rows.size(); }
    int workerAt(int row) const { return m_rows.at(row).worker; }
    bool savedAt(int row) const { return m_rows.at(row).state == State::Saved; }
    QString messageAt(int row) const;
    Decimal finalPrice() const; // as the database prices it; 0 before an operation is chosen
    bool painting() const;

    // Closing with rows not saved asks first, so that typed work is not lost unnoticed.
    void reject() override;

private:
    enum class State { Open, Saved, Refused };
    struct Row {
        int worker = 0;
        QUuid key; // made when the row was added: a press after an unknown outcome finds the stored entry
        State state = State::Open;
    };
    void updateRow(int row);
    void mark(int row, State state, const QString &message);
    void applyColourRule();
    QString cellText(int row, int column) const;

    Forms &f;
    QList<Row> m_rows;
    QDate m_date;
    int m_shift = 1;
    bool m_dayOff = false;
    std::optional<OperationChoice> m_operation;
    qint64 m_lastSavedId = 0;
};
