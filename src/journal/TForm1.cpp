#include "TForm1.h"
#include "OfflineUi.h"

#include "JournalQueries.h"
#include "KeyBindings.h"
#include "TeamShift.h"

#include "app/VersionCheck.h"
#include "db/ChangeListener.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "records/Entries.h"
#include "records/Roles.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Outage.h"
#include "ui/Forms.h"
#include "ui/LiveRefresh.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
} // namespace

TForm1::TForm1(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Табель"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);

    RadioButton1 = Widgets::named<QRadioButton>(this, "RadioButton1", QStringLiteral("Смена №1"));
    RadioButton2 = Widgets::named<QRadioButton>(this, "RadioButton2", QStringLiteral("Смена №2"));
    RadioButton3 = Widgets::named<QRadioButton>(this, "RadioButton3", QStringLiteral("Смена №3"));
    RadioButton4 = Widgets::named<QRadioButton>(this, "RadioButton4", QStringLiteral("Переработка"));
    RadioButton1->setChecked(true);

    DateT = new QDateEdit(QDate::currentDate(), this);
    DateT->setObjectName(QStringLiteral("DateT"));
    DateT->setCalendarPopup(true);
    DateT->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    DateT->installEventFilter(this);

    CBox1 = Widgets::named<QCheckBox>(this, "CBox1", QStringLiteral("Выходной"));

    m_day = std::make_unique<JournalDay>(*f.DataModule6);

    DBGrid2 = new QTableView(this);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    const auto C = Qt::AlignCenter;
    const auto L = Qt::AlignLeft | Qt::AlignVCenter;
    const auto R = Qt::AlignRight | Qt::AlignVCenter;
    gridModel = new DatasetModel(f.DataModule6->smena(1),
                                 {
                                     {"fio", "Фамилия И.О.", L, true, 190},
                                     {"marka", "Марка изделия", L, true, 150},
                                     {"vid", "Операция", L, true, 150},
                                     {"nmn", "Вид", L, true, 130},
                                     {"color", "Цвет", C, true, 50},
                                     {"time", "Часы", R, true, 50},
                                     {"kol_vo", "Кол-во", R, true, 65},
                                     {"brak", "Брак", R, true, 50},
                                     {"summa", "Итого (р.)", R, true, 85, 2},
                                     {"prize", "Премия (%)", R, false},
                                     {"ok", "OK", C, true, 45},
                                     {"vvod", "Заведен", C, true, 90},
                                 },
                                 this);
    gridModel->setStyle([](const Dataset &ds, int row, const QString &field) {
        CellStyle st;
        if (field.compare(QLatin1String("ok"), Qt::CaseInsensitive) == 0) {
            st.bold = true;
            st.foreground = isClosedMark(ds.valueAt(row, field).toString()) ? kGreen : kRed;
        }
        return st;
    });
    bindGrid(DBGrid2, gridModel);
    DBGrid2->horizontalHeader()->setStretchLastSection(true);
    DBGrid2->setMinimumSize(1060, 480);

    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Добавить"));
    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Изменить"));
    Button3 = Widgets::pushButton(this, "Button3", QStringLiteral("Удалить"));
    Button8 = Widgets::pushButton(this, "Button8", QStringLiteral("Обновить"));
    Button5 = Widgets::pushButton(this, "Button5", QStringLiteral("Ср.сд./хоз. работы"));
    Button4 = Widgets::pushButton(this, "Button4", QStringLiteral("Выход"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(30000);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    buildMenu();

    auto *top = new QHBoxLayout;
    top->addWidget(RadioButton1);
    top->addWidget(RadioButton2);
    top->addWidget(RadioButton3);
    top->addWidget(RadioButton4);
    top->addSpacing(24);
    top->addWidget(DateT);
    top->addWidget(CBox1);
    top->addStretch();
    // The status line of a lost server: since when, while no connection is back
    ConnectionStatus = new QLabel(this);
    ConnectionStatus->setObjectName(QStringLiteral("ConnectionStatus"));
    ConnectionStatus->setStyleSheet(QStringLiteral("color: rgb(180, 0, 0); font-weight: bold"));
    ConnectionStatus->hide();
    top->addWidget(ConnectionStatus);
    connect(&Outage::instance(), &Outage::changed, this, [this]() {
        const QString t = Outage::instance().statusText();
        ConnectionStatus->setText(t);
        ConnectionStatus->setVisible(!t.isEmpty());
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addWidget(Button8);
    buttons->addStretch();
    buttons->addWidget(Button5);
    buttons->addWidget(Button4);
    auto *lay = new QVBoxLayout(this);
    lay->setMenuBar(MainMenu1);
    lay->addLayout(top);
    lay->addWidget(DBGrid2, 1);
    lay->addLayout(buttons);

    styleShiftButtons();
    CBox1Click();

    const QRadioButton *radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4};
    for (int i = 0; i < 4; ++i)
        connect(radios[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                setShift(i + 1);
        });
    connect(DateT->calendarWidget(), &QCalendarWidget::clicked, this, &TForm1::DateTChange);
    connect(DateT->calendarWidget(), &QCalendarWidget::activated, this, &TForm1::DateTChange);
    // A day typed, stepped with the arrow keys or the wheel is read as soon as
    // the editing ends (Enter, or the focus moves on, e.g. to "Добавить"), so
    // the grid, "Выходной" and the picker always agree.
    connect(DateT, &QDateEdit::editingFinished, this, [this]() {
        if (date() != m_readDate)
            DateTChange();
    });
    connect(CBox1, &QCheckBox::toggled, this, &TForm1::CBox1Click);
    connect(DBGrid2, &QTableView::doubleClicked, this, &TForm1::DBGrid2DblClick);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    // The shown shift is read again; another shift of the day when it is chosen.
    live = new LiveRefresh(
        this, f.DataModule6->Changes,
        [this](const ChangeNotice::Change &c) {
            if (c.table == ChangeNotice::Table::Months) // the day's buttons and label
                return m_readDate.isValid() && ChangeNotice::touchesMonth(c, m_readDate.year(), m_readDate.month());
            if (c.table != ChangeNotice::Table::Entries)
                return c.table != ChangeNotice::Table::Housekeeping && c.table != ChangeNotice::Table::Timesheet; // names
            if (!m_readDate.isValid() || !ChangeNotice::touchesDay(c, m_readDate))
                return false;
            if (ChangeNotice::touchesDay(c, m_readDate, shift))
                return true;
            m_staleShifts |= 1u << c.shift;
            return false;
        },
        [this]() {
            // the shown shift and the month's state, one trip
            m_day->readShift(shift);
            emit journalRead();
        });
    live->keepPlace(DBGrid2, QStringLiteral("id"));
    if (f.DataModule6->Changes)
        connect(f.DataModule6->Changes, &ChangeListener::reconnected, this, [this]() { m_staleShifts = ~0u; });
    TeamButton = TeamShift::addOpener(this, buttons, Button8, Button1, [this]() -> TeamShift * { return team(); });
    KeyBindings::journal(this);
}

TForm1::~TForm1() = default;

void TForm1::setRole(const QString &r)
{
    m_day->setRole(r);
}

bool TForm1::monthClosed() const { return m_day->monthClosed(); }

QString TForm1::monthClosedText() const { return m_day->closedText(); }

void TForm1::showEntry(qint64 id)
{
    Dataset *q = journal();
    if (id <= 0 || !q->locate(QStringLiteral("id"), id))
        return;
    // the grid follows the dataset's current row; in view as well
    DBGrid2->scrollTo(DBGrid2->currentIndex());
}

TeamShift *TForm1::team()
{
    if (!m_team)
        m_team = new TeamShift(f, this);
    return m_team;
}

void TForm1::buildMenu()
{
    // an entry of a menu or of the bar itself
    auto item = [this](QWidget *menu, const char *name, const char *caption, void (TForm1::*slot)()) {
        QAction *a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (slot)
            connect(a, &QAction::triggered, this, slot);
        return a;
    };
    // a menu of the bar; its entry in the bar carries the name
    auto menu = [this](QAction *&entry, const char *name, const char *caption) {
        QMenu *m = MainMenu1->addMenu(QString::fromUtf8(caption));
        entry = m->menuAction();
        entry->setObjectName(QString::fromLatin1(name));
        return m;
    };
    QMenu *catalogues = menu(N2, "N2", "Справочники");
    N1 = item(catalogues, "N1", "Рабочие", &TForm1::N1Click);
    N3 = item(catalogues, "N3", "Изделия", &TForm1::N3Click);
    N4 = item(catalogues, "N4", "Цены", &TForm1::N4Click);
    N6 = item(catalogues, "N6", "Операции", &TForm1::N6Click);
    N8 = item(catalogues, "N8", "Внеурочное", nullptr);

    QMenu *timesheets = menu(N11, "N11", "Табель");
    N9 = item(timesheets, "N9", "Табель сделка", &TForm1::N9Click);
    N13 = item(timesheets, "N13", "Табель по сменам", &TForm1::N13Click);
    N14 = item(timesheets, "N14", "Табель хоз. работ", &TForm1::N14Click);
    N15 = item(timesheets, "N15", "Табель ср. сдельная", &TForm1::N15Click);
    N17 = item(timesheets, "N17", "Общий табель", &TForm1::N17Click);

    QMenu *reports = menu(N7, "N7", "Отчеты");
    N10 = item(reports, "N10", "Сводные отчеты", &TForm1::N10Click);
    MonthOverviewItem = item(reports, "MonthOverviewItem", "Обзор месяца", &TForm1::MonthOverviewClick);

    N5 = item(MainMenu1, "N5", "Выход", nullptr);
    connect(N5, &QAction::triggered, this, &TForm1::close);
    N12 = item(MainMenu1, "N12", "Импорт", &TForm1::N12Click);
    N16 = item(MainMenu1, "N16", "Структура БД", &TForm1::N16Click);
    N12->setVisible(f.maintenance);
    N16->setVisible(f.maintenance);
}

QDate TForm1::date() const { return DateT->date(); }

Dataset *TForm1::journal() const { return f.DataModule6->smena(shift); }

bool TForm1::dayOff() const { return CBox1->isChecked(); }

static bool isWeekend(const QDate &d) { return d.dayOfWeek() >= 6; }

void TForm1::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormActivate();
}

void TForm1::FormActivate()
{
    DateT->setDate(QDate::currentDate());
    if (isWeekend(date()))
        CBox1->setChecked(true);
    readJournals();
}

void TForm1::readJournals()
{
    m_readDate = date();
    m_staleShifts = 0;
    m_day->read(m_readDate);
    emit journalRead();
}

bool TForm1::eventFilter(QObject *o, QEvent *e)
{
    if (o == DateT && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DateTChange();
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

void TForm1::chooseDay(const QDate &d)
{
    DateT->setDate(d);
    DateTChange();
}

void TForm1::DateTChange()
{
    {
        WaitCursor wait;
        readJournals();
        CBox1->setChecked(isWeekend(date()));
    }
    DBGrid2->setFocus();
}

void TForm1::setShift(int n)
{
    if (n < 1 || n > 4)
        n = 1;
    QRadioButton *radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4};
    if (!radios[n - 1]->isChecked()) {
        radios[n - 1]->setChecked(true); // toggled() comes back here
        return;
    }
    if (m_staleShifts & (1u << n)) {
        m_staleShifts &= ~(1u << n);
        try {
            m_day->readShift(n);
            emit journalRead();
        } catch (const DbError &e) {
            Dialogs::error(e.text());
        }
    }
    gridModel->setDataset(f.DataModule6->smena(n));
    shift = n;
    styleShiftButtons();
}

void TForm1::styleShiftButtons()
{
    QRadioButton *radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4};
    for (int i = 0; i < 4; ++i) {
        const bool on = radios[i]->isChecked();
        radios[i]->setStyleSheet(on ? QStringLiteral("QRadioButton { background-color: rgb(0,128,0); color: white; font-weight: bold; padding: 2px; }")
                                    : QStringLiteral("QRadioButton { padding: 2px; }"));
    }
}

void TForm1::CBox1Click() { Widgets::showDayOff(CBox1); }

void TForm1::Button8Click()
{
    OfflineUi::sendNow(f); // what waits on this workstation goes in first
    WaitCursor wait;
    // the four shifts and the month's state with the parameters they have, one trip
    live->keepingPlace([this]() {
        m_day->readAgain();
        m_staleShifts = 0;
    });
    emit journalRead();
}

void TForm1::toggleMark()
{
    if (!Roles::may(role, Roles::Action::MarkEntry))
        return;
    Dataset *q = journal();
    if (q->isEmpty())
        return;
    const QString mark = isClosedMark(q->asString(QStringLiteral("ok"))) ? QStringLiteral("no") : QStringLiteral("ok");
    const Outcome o = Entries::setMark(f.DataModule6->connectionName(), q->asInt(QStringLiteral("id")), mark);
    // The marked entry may sort elsewhere now: the selection follows it.
    live->keepingPlace([q]() { q->refresh(); });
    if (!o.ok())
        Dialogs::error(o.text);
}

void TForm1::deleteEntry()
{
    Dataset *q = journal();
    if (q->asString(QStringLiteral("id")).isEmpty())
        return;
    if (!Dialogs::question(QStringLiteral("Удалить позицию из списка?"))) {
        live->keepingPlace([q]() {
            q->close();
            q->open();
        });
        return;
    }
    // The entry and its day cell go together or not at all; the worker,
    // shift and day are those of the stored row itself.
    const Outcome o = Entries::remove(f.DataModule6->connectionName(), q->asInt(QStringLiteral("id")));
    q->close();
    q->open();
    if (!o.ok())
        Dialogs::error(o.text);
}

void TForm1::Timer1Timer() { versionCheck(f); }
