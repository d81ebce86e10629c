#pragma once
#include <QDate>
#include <QDialog>
#include <memory>

class QAction;
class QCheckBox;
class QDateEdit;
class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;
class TeamShift;
class Dataset;
class DatasetModel;
class JournalDay;
class LiveRefresh;
struct Forms;

// The journal: one day's entries of one shift.
class TForm1 : public QDialog {
    Q_OBJECT
public:
    explicit TForm1(Forms &forms, QWidget *parent = nullptr);
    ~TForm1() override;

    QRadioButton *RadioButton1, *RadioButton2, *RadioButton3, *RadioButton4;
    QDateEdit *DateT;
    QCheckBox *CBox1; // "Выходной"
    QTableView *DBGrid2;
    DatasetModel *gridModel;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button8;
    QPushButton *TeamButton; // "Бригада": a team's shift in one grid
    QMenuBar *MainMenu1;
    // Menus and items (a menu's own entry is its QAction)
    QAction *N2, *N1, *N3, *N4, *N6, *N8;
    QAction *N11, *N9, *N13, *N14, *N15, *N17;
    QAction *N7, *N10;
    QAction *MonthOverviewItem; // Отчеты → Обзор месяца
    QAction *N5, *N12, *N16;
    QTimer *Timer1;
    // The legacy import's step and rows copied, below the buttons; created
    // by the first import
    QLabel *ImportStatus = nullptr;
    QLabel *ConnectionStatus = nullptr; // "Нет связи с сервером с 10:14" while the server is away
    QProgressBar *ImportProgress = nullptr;
    LiveRefresh *live = nullptr; // other workstations' changes of the day shown

    int shift = 1;
    QString role; // a role name, or the administrator's access code as typed

    QDate date() const;
    Dataset *journal() const; // the journal query of the current shift
    bool dayOff() const;

    // The signed-in user's role (the database's name): what the journal lists.
    void setRole(const QString &r);
    // What the day shows about its month, as last read with the entries.
    bool monthClosed() const;
    QString monthClosedText() const;

    // Named steps the handlers run
    void setShift(int n);                // binds the grid, looks of the buttons
    void readJournals();                 // Smena1..Smena4 of the date and its month's state, one trip
    void showEntry(qint64 id);           // the entry becomes the current row, scrolled into view
    void chooseDay(const QDate &d);      // as when the calendar closes on d
    void toggleMark();                   // the double-click
    void deleteEntry();                  // "Удалить"
    static bool isClosedMark(const QString &ok) { return ok == u"ok" || ok == u"да"; }
    // Enables the menu items whose window exists.
    void updateMenuAvailability();
    // The team window, made when first needed
    TeamShift *team();

    void FormActivate();
    void DateTChange();
    void CBox1Click();
    void Button8Click();
    void DBGrid2DblClick() { toggleMark(); }
    void Button1Click();
    void Button2Click();
    void Button3Click() { deleteEntry(); }
    void Button5Click();
    void Button4Click() { close(); }
    void Timer1Timer();
    // Menu handlers (TForm1Menu.cpp)
    void N1Click();
    void N3Click();
    void N4Click();
    void N6Click();
    void N9Click();
    void N13Click();
    void N14Click();
    void N15Click();
    void N17Click();
    void N10Click();
    void MonthOverviewClick();
    void N12Click();
    void N16Click();

signals:
    // The day's entries were read (a new day, "Обновить", a notice): the
    // month's state (monthClosed) was read with them.
    void journalRead();

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void buildMenu();
    void showImportProgress();
    void styleShiftButtons();
    Forms &f;
    std::unique_ptr<JournalDay> m_day;
    QDate m_readDate; // the day the journal queries were last read for
    TeamShift *m_team = nullptr;
    unsigned m_staleShifts = 0; // bit per shift changed elsewhere since read, while another was shown
};
