#include "TeamShift.h"
#include "OfflineUi.h"

#include "EntrySave.h"
#include "KeyBindings.h"
#include "TForm1.h"
#include "TForm11.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "db/Gateway.h"
#include "records/Entries.h"
#include "records/Write.h"
#include "records/Pricing.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/DigitEdit.h"
#include "ui/Forms.h"
#include "ui/LiveRefresh.h"
#include "ui/LongAction.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kRefusedBack(255, 228, 228);
const QString kAllFields = QStringLiteral("Все поля должны быть заполнены!");

// Digits only in the keyed columns, as in the entry editor's fields
class DigitsDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *e = new DigitEdit(parent);
        e->setFrame(false);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return e;
    }
};

bool keyed(int column)
{
    return column == TeamShift::Quantity || column == TeamShift::Defects || column == TeamShift::Hours || column == TeamShift::Colour;
}
} // namespace

// ---------------------------------------------------------------- grid

TeamGrid::TeamGrid(QWidget *parent) : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setItemDelegate(new DigitsDelegate(this));
    verticalHeader()->setDefaultSectionSize(24);
}

void TeamGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    // A close the delegate queued (the focus left for a tooltip) may arrive
    // after the editor went with its row: only a live editor is closed. The
    // pointer is compared, never followed.
    if (!viewport()->children().contains(static_cast<QObject *>(editor)))
        return;
    // Enter commits the cell (SubmitModelCache) and goes on to the row below.
    const bool enter = hint == QAbstractItemDelegate::SubmitModelCache;
    QTableWidget::closeEditor(editor, enter ? QAbstractItemDelegate::NoHint : hint);
    if (enter)
        moveDown();
}

void TeamGrid::keyPressEvent(QKeyEvent *e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier)
        && state() != QAbstractItemView::EditingState) {
        moveDown();
        return;
    }
    QTableWidget::keyPressEvent(e);
}

void TeamGrid::commitTyping()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    QWidget *editor = QApplication::focusWidget();
    if (!editor || editor->parentWidget() != viewport()) {
        // the focus went elsewhere (a tooltip, another window): the cell's editor is still the viewport's child
        editor = nullptr;
        for (QLineEdit *e : viewport()->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly))
            if (e->isVisible())
                editor = e;
    }
    if (editor) {
        commitData(editor);
        QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TeamGrid::moveDown()
{
    const QModelIndex i = currentIndex();
    if (!i.isValid())
        return;
    if (i.row() + 1 < rowCount()) {
        setCurrentCell(i.row() + 1, i.column());
        return;
    }
    for (int c : keyedColumns)
        if (c > i.column() && !isColumnHidden(c)) {
            setCurrentCell(0, c);
            return;
        }
}

void TeamGrid::focusInEvent(QFocusEvent *e)
{
    QTableWidget::focusInEvent(e);
    // Entering the grid lands on a cell to key in, not on a name.
    const QModelIndex i = currentIndex();
    if (rowCount() > 0 && !keyedColumns.isEmpty() && (!i.isValid() || !keyedColumns.contains(i.column())))
        setCurrentCell(i.isValid() ? i.row() : 0, keyedColumns.first());
}

// ---------------------------------------------------------------- window

TeamShift::TeamShift(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TeamShiftWindow"));
    setWindowTitle(QStringLiteral("Бригада"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    DayLabel = new QLabel(this);
    DayLabel->setObjectName(QStringLiteral("DayLabel"));
    auto *operationLabel = Widgets::named<QLabel>(this, "OperationLabel", QStringLiteral("Операция"));
    OperationEdit = Widgets::shownField(this, "OperationEdit", 380);
    OperationButton = Widgets::pushButton(this, "OperationButton", QStringLiteral("..."));
    OperationButton->setFixedWidth(32);
    auto *colourLabel = Widgets::named<QLabel>(this, "ColourLabel", QStringLiteral("Цвет"));
    ColourEdit = new DigitEdit(this);
    ColourEdit->setObjectName(QStringLiteral("ColourEdit"));
    ColourEdit->setFixedWidth(70);
    ColourEdit->setToolTip(QStringLiteral("Цвет для всех строк, где он ещё не указан (только для покраски)"));
    auto *workersLabel = Widgets::named<QLabel>(this, "WorkersLabel", QStringLiteral("Рабочие"));
    AddWorkerButton = Widgets::pushButton(this, "AddWorkerButton", QStringLiteral("Добавить..."));
    LastTimeButton = Widgets::pushButton(this, "LastTimeButton", QStringLiteral("как в прошлый раз"));
    RemoveWorkerButton = Widgets::pushButton(this, "RemoveWorkerButton", QStringLiteral("Убрать из списка"));

    Grid = new TeamGrid(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setColumnCount(Columns);
    Grid->keyedColumns = {Quantity, Defects, Hours, Colour};
    Grid->setHorizontalHeaderLabels({QStringLiteral("Фамилия И.О."), QStringLiteral("Кол-во"), QStringLiteral("Брак"),
                                     QStringLiteral("Часы"), QStringLiteral("Цвет"), QStringLiteral("Цена итог"),
                                     QStringLiteral("Сумма"), QStringLiteral("Итог")});
    QFont bold = Grid->horizontalHeader()->font();
    bold.setBold(true);
    Grid->horizontalHeader()->setFont(bold);
    const int widths[] = {200, 70, 60, 60, 60, 85, 85, 330};
    for (int c = 0; c < Columns; ++c)
        Grid->setColumnWidth(c, widths[c]);
    Grid->horizontalHeader()->setStretchLastSection(true);
    Grid->setMinimumSize(1000, 380);
    Grid->setToolTip(QStringLiteral("Цифры и Enter: значение и строка ниже"));

    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("Body"));
    auto *top = new QGridLayout;
    top->addWidget(DayLabel, 0, 0, 1, 6);
    top->addWidget(operationLabel, 1, 0);
    top->addWidget(OperationEdit, 1, 1, 1, 3);
    top->addWidget(OperationButton, 1, 4);
    top->addWidget(colourLabel, 2, 0);
    top->addWidget(ColourEdit, 2, 1, Qt::AlignLeft);
    top->addWidget(workersLabel, 3, 0);
    auto *workerButtons = new QHBoxLayout;
    workerButtons->addWidget(AddWorkerButton);
    workerButtons->addWidget(LastTimeButton);
    workerButtons->addWidget(RemoveWorkerButton);
    workerButtons->addStretch(1);
    top->addLayout(workerButtons, 3, 1, 1, 4);
    top->setColumnStretch(5, 1);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addLayout(top);
    bodyLayout->addWidget(Grid, 1);
    for (QWidget *w : {static_cast<QWidget *>(DayLabel), static_cast<QWidget *>(operationLabel), static_cast<QWidget *>(OperationEdit),
                       static_cast<QWidget *>(OperationButton), static_cast<QWidget *>(colourLabel), static_cast<QWidget *>(ColourEdit),
                       static_cast<QWidget *>(workersLabel), static_cast<QWidget *>(AddWorkerButton),
                       static_cast<QWidget *>(LastTimeButton), static_cast<QWidget *>(RemoveWorkerButton), static_cast<QWidget *>(Grid)})
        w->setParent(body);

    const auto buttons = Widgets::saveCancelLayout(this, body, QStringLiteral("Запись"), [this]() { save(); });
    SaveButton = buttons.save;
    CloseButton = buttons.cancel;
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setText(QStringLiteral("Выход"));
    // Enter belongs to the grid here: only Ctrl+Enter (or a click) saves.
    SaveButton->setDefault(false);
    SaveButton->setAutoDefault(false);

    setTabOrder(OperationButton, ColourEdit);
    setTabOrder(ColourEdit, AddWorkerButton);
    // From the workers straight into the grid
    setTabOrder(AddWorkerButton, Grid);
    setTabOrder(Grid, LastTimeButton);
    setTabOrder(LastTimeButton, RemoveWorkerButton);
    setTabOrder(RemoveWorkerButton, SaveButton);
    setTabOrder(SaveButton, CloseButton);
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, OperationButton, Widgets::Refocus::OnShow);

    KeyBindings::pickerButton(OperationButton, [this]() -> QDialog * { return f.Form4; },
                              [this]() { return f.Form4 ? f.Form4->Edit1 : nullptr; });
    KeyBindings::pickerButton(AddWorkerButton, [this]() -> QDialog * { return f.Form5; },
                              [this]() { return f.Form5 ? f.Form5->Edit1 : nullptr; }, KeyBindings::AfterChoice::StayOnButton);
    KeyBindings::saveKey(this, SaveButton);
    AddWorkerButton->setToolTip(QStringLiteral("Добавить рабочего: начните печатать фамилию (или пробел)"));

    connect(OperationButton, &QPushButton::clicked, this, &TeamShift::pickOperation);
    connect(AddWorkerButton, &QPushButton::clicked, this, &TeamShift::pickWorker);
    connect(LastTimeButton, &QPushButton::clicked, this, [this]() {
        if (!m_operation) {
            Dialogs::error(QStringLiteral("Сначала выберите операцию."));
            return;
        }
        if (sameAsLastTime() == 0 && Grid->rowCount() == 0)
            Dialogs::error(QStringLiteral("До %1 эту операцию не заводили.").arg(m_date.toString(QStringLiteral("dd.MM.yyyy"))));
        if (Grid->rowCount() > 0) {
            Grid->setFocus();
            Grid->setCurrentCell(0, Quantity);
        }
    });
    connect(RemoveWorkerButton, &QPushButton::clicked, this, &TeamShift::removeCurrentWorker);
    connect(ColourEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        for (int r = 0; r < m_rows.size(); ++r)
            if (m_rows[r].state != State::Saved && cellText(r, Colour).isEmpty())
                Grid->item(r, Colour)->setText(text);
    });
    connect(Grid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *it) {
        if (it->column() == Quantity)
            updateRow(it->row());
    });
}

QPushButton *TeamShift::addOpener(QWidget *journal, QHBoxLayout *buttons, QWidget *after, QPushButton *addButton,
                                  std::function<TeamShift *()> window)
{
    QPushButton *b = Widgets::pushButton(journal, "TeamButton", QStringLiteral("Бригада"));
    b->setToolTip(QStringLiteral("Одна операция для нескольких рабочих сразу"));
    buttons->insertWidget(buttons->indexOf(after) + 1, b);
    b->setEnabled(addButton->isEnabled());
    // Follows "Добавить": whoever may not add entries may not add a team's.
    struct Follow : QObject {
        QPushButton *from, *to;
        Follow(QPushButton *f, QPushButton *t) : QObject(t), from(f), to(t) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::EnabledChange)
                to->setEnabled(from->isEnabled());
            return false;
        }
    };
    addButton->installEventFilter(new Follow(addButton, b));
    QObject::connect(b, &QPushButton::clicked, journal, [window]() {
        if (TeamShift *t = window())
            t->openFromJournal();
    });
    return b;
}

void TeamShift::prepare(const QDate &date, int shift, bool dayOff)
{
    m_date = date;
    m_shift = shift >= 1 && shift <= 4 ? shift : 1;
    m_dayOff = dayOff;
    Grid->commitTyping(); // no cell editor outlives its row
    m_rows.clear();
    Grid->setRowCount(0);
    m_operation.reset();
    m_lastSavedId = 0;
    OperationEdit->clear();
    ColourEdit->clear();
    const QString shiftText = m_shift == 4 ? QStringLiteral("переработка") : QStringLiteral("смена №%1").arg(m_shift);
    DayLabel->setText(date.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(", ") + shiftText
                      + (dayOff ? QStringLiteral(", выходной") : QString()));
    applyColourRule();
}

int TeamShift::openFromJournal()
{
    TForm1 *j = f.Form1;
    prepare(j ? j->date() : QDate::currentDate(), j ? j->shift : 1, j && j->dayOff());
    return exec();
}

// ---------------------------------------------------------------- operation and workers

bool TeamShift::painting() const { return m_operation && m_operation->painting; }

Decimal TeamShift::finalPrice() const
{
    if (!m_operation)
        return Decimal();
    return m_operation->finalPrice.value_or(Decimal());
}

void TeamShift::setOperation(const OperationChoice &op)
{
    if (op.id == 0)
        return;
    m_operation = op;
    OperationEdit->setText(op.text);
    applyColourRule();
    for (int r = 0; r < m_rows.size(); ++r)
        updateRow(r);
}

void TeamShift::applyColourRule()
{
    // As in the entry editor: a colour only for a painting operation.
    const bool on = painting();
    ColourEdit->setEnabled(on);
    Grid->setColumnHidden(Colour, !on);
    if (!on) {
        ColourEdit->clear();
        for (int r = 0; r < m_rows.size(); ++r)
            if (m_rows[r].state != State::Saved)
                Grid->item(r, Colour)->setText(QString());
    }
}

void TeamShift::pickOperation()
{
    if (const auto op = OperationChoice::pick(f, m_operation ? m_operation->id : -1, m_shift, m_dayOff))
        setOperation(*op);
}

void TeamShift::pickWorker()
{
    if (f.Form5 && f.Form5->pick(1))
        addWorker(f.Form5->PickedId, f.Form5->PickedName);
}

bool TeamShift::addWorker(int id, const QString &fio)
{
    for (int r = 0; r < m_rows.size(); ++r)
        if (m_rows[r].worker == id) {
            Grid->setCurrentCell(r, Quantity);
            return false;
        }
    const int r = Grid->rowCount();
    Grid->insertRow(r);
    m_rows.append(Row{id, QUuid::createUuid(), State::Open});
    const QSignalBlocker block(Grid);
    for (int c = 0; c < Columns; ++c) {
        auto *it = new QTableWidgetItem;
        if (!keyed(c))
            it->setFlags(it->flags() & ~Qt::ItemIsEditable);
        it->setTextAlignment(c == Name || c == Result ? (Qt::AlignLeft | Qt::AlignVCenter) : (Qt::AlignRight | Qt::AlignVCenter));
        Grid->setItem(r, c, it);
    }
    Grid->item(r, Name)->setText(fio.trimmed());
    // As the entry editor starts: defects and hours "0"
    Grid->item(r, Defects)->setText(QStringLiteral("0"));
    Grid->item(r, Hours)->setText(QStringLiteral("0"));
    if (painting())
        Grid->item(r, Colour)->setText(ColourEdit->text().trimmed());
    updateRow(r);
    return true;
}

int TeamShift::sameAsLastTime()
{
    if (!m_operation)
        return 0;
    Dataset q(f.DataModule6->connectionName());
    q.setSql(QStringLiteral(
        "select p.id, p.fio from accounts_dep.person p where p.id in (select s.w_id from accounts_dep.smena s where s.o_id=:o_id "
        "and s.ok<>'ta' and s.data=(select max(l.data) from accounts_dep.smena l where l.o_id=:o_id and l.ok<>'ta' and l.data<:data)) "
        "order by p.fio"));
    q.setParam(QStringLiteral("o_id"), m_operation->id);
    q.setParam(QStringLiteral("data"), m_date);
    try {
        q.open();
    } catch (const DbError &e) {
        Dialogs::error(e.text());
        return 0;
    }
    int added = 0;
    for (int r = 0; r < q.recordCount(); ++r)
        if (addWorker(q.valueAt(r, QStringLiteral("id")).toInt(), q.valueAt(r, QStringLiteral("fio")).toString()))
            ++added;
    return added;
}

void TeamShift::removeCurrentWorker()
{
    const int r = Grid->currentRow();
    if (r < 0 || r >= m_rows.size())
        return;
    m_rows.removeAt(r);
    Grid->removeRow(r);
}

// ---------------------------------------------------------------- rows

QString TeamShift::cellText(int row, int column) const
{
    const QTableWidgetItem *it = Grid->item(row, column);
    return it ? it->text().trimmed() : QString();
}

QString TeamShift::messageAt(int row) const { return cellText(row, Result); }

void TeamShift::updateRow(int row)
{
    if (row < 0 || row >= Grid->rowCount() || !Grid->item(row, Price))
        return;
    const QSignalBlocker block(Grid);
    if (!m_operation) {
        Grid->item(row, Price)->setText(QString());
        Grid->item(row, Sum)->setText(QString());
        return;
    }
    // The piece price as the entry editor shows it; the sum, money, with two
    // decimals as the journal's grid shows money.
    const Decimal p = finalPrice();
    Grid->item(row, Price)->setText(TForm11::formatNumber(p));
    const Decimal sum = Pricing::amount(p, cellText(row, Quantity).toLongLong());
    Grid->item(row, Sum)->setText(DatasetModel::numberText(sum.toString(), 2));
}

void TeamShift::mark(int row, State state, const QString &message)
{
    const QSignalBlocker block(Grid);
    m_rows[row].state = state;
    QTableWidgetItem *res = Grid->item(row, Result);
    res->setText(message);
    res->setForeground(state == State::Saved ? kGreen : kRed);
    QFont font = res->font();
    font.setBold(state == State::Refused);
    res->setFont(font);
    for (int c = 0; c < Columns; ++c) {
        QTableWidgetItem *it = Grid->item(row, c);
        it->setBackground(state == State::Refused ? QBrush(kRefusedBack) : QBrush());
        if (state == State::Saved)
            it->setFlags(it->flags() & ~Qt::ItemIsEditable); // stored: not keyed again
    }
}

void TeamShift::reject()
{
    bool unsaved = false;
    for (const Row &r : m_rows)
        unsaved = unsaved || r.state != State::Saved;
    if (unsaved && isVisible()
        && !Dialogs::question(QStringLiteral("Не все строки бригады записаны. Закрыть окно без их записи?"), QStringLiteral("Бригада")))
        return;
    QDialog::reject();
}

QString TeamShift::nothingDoneQuestion(const QStringList &names, const QString &what)
{
    QString list = names.join(QStringLiteral(", "));
    if (!list.endsWith(QLatin1Char('.')))
        list += QLatin1Char('.');
    return QStringLiteral("Кол-во и брак равны 0: %1\nЗаписать %2 так?").arg(list, what);
}

int TeamShift::save()
{
    if (!m_operation || m_rows.isEmpty()) {
        Dialogs::error(kAllFields);
        return 0;
    }
    Grid->commitTyping();
    m_lastSavedId = 0;
    const bool paint = painting();
    const QString conn = f.DataModule6->connectionName();

    // Every row read and checked before anything is written, so that the
    // question below comes before any transaction.
    struct Typed {
        int quantity = 0, defects = 0, hours = 0, colour = 0;
        bool complete = false;
        int badColumn = -1; // a value no entry can have
        QString badText;
    };
    QVector<Typed> typed(m_rows.size());
    QStringList nothingDone;
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r].state == State::Saved)
            continue;
        bool okQ = false, okB = false, okH = false, okC = true;
        Typed &t = typed[r];
        t.quantity = cellText(r, Quantity).toInt(&okQ);
        t.defects = cellText(r, Defects).toInt(&okB);
        t.hours = cellText(r, Hours).toInt(&okH);
        if (paint)
            t.colour = cellText(r, Colour).toInt(&okC);
        t.complete = okQ && okB && okH && okC;
        if (!t.complete)
            continue;
        if (t.quantity > TForm11::MaxPieces) {
            t.badColumn = Quantity;
            t.badText = QStringLiteral("Кол-во: не больше 100 000.");
        } else if (t.defects > TForm11::MaxPieces) {
            t.badColumn = Defects;
            t.badText = QStringLiteral("Брак: не больше 100 000.");
        } else if (t.hours > TForm11::MaxHours) {
            t.badColumn = Hours;
            t.badText = QStringLiteral("Часы: не больше 24.");
        } else if (t.quantity == 0 && t.defects == 0) {
            nothingDone << cellText(r, Name);
        }
    }
    bool saveNothingDone = true;
    if (!nothingDone.isEmpty())
        saveNothingDone = Dialogs::question(
            nothingDoneQuestion(nothingDone, nothingDone.size() == 1 ? QStringLiteral("эту строку") : QStringLiteral("эти строки")),
            QStringLiteral("Бригада"));

    // Each row its own call of the save, its own transaction, all in one
    // trip: a refused row neither stops nor undoes the others.
    QList<int> sent;
    QList<Gateway::Call> calls;
    QList<Entries::Entry> entries;
    int firstBad = -1;
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r].state == State::Saved)
            continue;
        const Typed &t = typed[r];
        if (!t.complete) {
            mark(r, State::Refused, kAllFields);
            continue;
        }
        if (t.badColumn >= 0) {
            mark(r, State::Refused, t.badText);
            if (firstBad < 0)
                firstBad = r;
            continue;
        }
        if (t.quantity == 0 && t.defects == 0 && !saveNothingDone) {
            mark(r, State::Refused, QStringLiteral("Не записано: кол-во и брак равны 0."));
            continue;
        }
        Entries::Entry e;
        e.worker = m_rows[r].worker;
        e.item = m_operation->item;
        e.operation = m_operation->id;
        e.reprice = true;
        e.dayOff = m_dayOff;
        e.quantity = t.quantity;
        e.defects = t.defects;
        e.hours = t.hours;
        e.colour = t.colour;
        e.shift = m_shift;
        e.date = m_date;
        e.key = m_rows[r].key;
        sent << r;
        calls << Entries::saveCall(e);
        entries << e;
    }
    int saved = 0;
    int lastSaved = -1;
    if (!calls.isEmpty()) {
        WaitCursor wait;
        QList<Gateway::Each> answers;
        QString lost;
        if (!OfflineUi::serverDown()) {
            try {
                answers = Gateway::runEach(conn, calls);
            } catch (const DbError &e) {
                // The answers were lost on the way: each row's key settles it on the next press.
                lost = e.text();
            }
        }
        for (int k = 0; k < sent.size(); ++k) {
            const int r = sent.at(k);
            // While no server answers the rows wait on this workstation.
            bool queued = false;
            const Outcome o = !answers.isEmpty()
                ? Write::answer(answers[k])
                : OfflineUi::saveEntry(f, entries.at(k), cellText(r, Name) + QStringLiteral(" · ") + m_operation->text,
                                       cellText(r, Price), [&]() { return Outcome::refused(Outcome::Refused, lost); }, &queued);
            if (o.ok()) {
                mark(r, State::Saved, queued ? QStringLiteral("Ждёт отправки") : QStringLiteral("Записано"));
                ++saved;
                lastSaved = r;
                m_lastSavedId = o.id;
            } else {
                mark(r, State::Refused, o.text);
            }
        }
    }
    if (firstBad >= 0) {
        // A value no entry can have: its cell is the one to correct.
        Dialogs::error(typed[firstBad].badText);
        Grid->setFocus(Qt::OtherFocusReason);
        Grid->setCurrentCell(firstBad, typed[firstBad].badColumn);
        Grid->scrollToItem(Grid->item(firstBad, typed[firstBad].badColumn));
    } else if (lastSaved >= 0) {
        Grid->setCurrentCell(lastSaved, Result);
        Grid->scrollToItem(Grid->item(lastSaved, Result));
    }
    // Every transaction has ended: the journal reads its day again as it
    // does for a change made elsewhere, once this window has closed.
    if (saved > 0 && f.Form1 && f.Form1->live)
        f.Form1->live->request();
    bool all = true;
    for (const Row &row : m_rows)
        all = all && row.state == State::Saved;
    if (all && isVisible())
        accept();
    return saved;
}
