#include "TForm11.h"
#include "OfflineUi.h"

#include "KeyBindings.h"
#include "TForm1.h"
#include "TeamShift.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "db/DbError.h"
#include "db/Gateway.h"
#include "db/TDataModule6.h"
#include "journal/EntrySave.h"
#include "records/Entries.h"
#include "records/Write.h"
#include "records/Pricing.h"
#include "ui/Dialogs.h"
#include "ui/DigitEdit.h"
#include "ui/Forms.h"
#include "ui/LiveRefresh.h"
#include "ui/Widgets.h"


#include <QDateEdit>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>

TForm11::TForm11(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm11"));
    setWindowTitle(QStringLiteral("Заведение новой позиции (11)"));

    GroupBox1 = new QGroupBox(QStringLiteral("Закрыто мастером"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    auto label = [this](const char *name, const char *caption) {
        return Widgets::named<QLabel>(GroupBox1, name, QString::fromUtf8(caption));
    };
    auto shown = [this](const char *name, int width) { return Widgets::shownField(GroupBox1, name, width); };
    auto digits = [this](const char *name) {
        auto *e = new DigitEdit(GroupBox1);
        e->setObjectName(QString::fromLatin1(name));
        e->setFixedWidth(90);
        return e;
    };

    Label1 = label("Label1", "ФИО");
    Edit1 = shown("Edit1", 330);
    Edit1->setCursor(Qt::PointingHandCursor);
    Button3 = Widgets::pushButton(GroupBox1, "Button3", QStringLiteral("..."));
    Button3->setFixedWidth(32);
    Label2 = label("Label2", "Операция");
    Edit2 = shown("Edit2", 330);
    Edit2->setCursor(Qt::PointingHandCursor);
    Button4 = Widgets::pushButton(GroupBox1, "Button4", QStringLiteral("..."));
    Button4->setFixedWidth(32);

    Label3 = label("Label3", "Кол-во");
    Edit3 = digits("Edit3");
    Label4 = label("Label4", "Время");
    Edit6 = digits("Edit6");
    Edit6->setText(QStringLiteral("0"));
    Label6 = label("Label6", "Цвет");
    Edit5 = digits("Edit5");
    Label5 = label("Label5", "Дата");
    DTimeP = new QDateEdit(QDate::currentDate(), GroupBox1);
    DTimeP->setObjectName(QStringLiteral("DTimeP"));
    DTimeP->setCalendarPopup(true);
    DTimeP->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    Label7 = label("Label7", "Брак");
    Edit4 = digits("Edit4");
    Edit4->setText(QStringLiteral("0"));

    Label8 = label("Label8", "Цена база");
    Edit8 = shown("Edit8", 90);
    Label9 = label("Label9", "Цена итог");
    Edit7 = shown("Edit7", 90);
    Label10 = label("Label10", "Сумма");
    Edit9 = shown("Edit9", 90);
    for (QLineEdit *e : {Edit7, Edit8, Edit9}) {
        e->setFocusPolicy(Qt::ClickFocus); // selectable for copying, no tab stop
        e->setAlignment(Qt::AlignRight);
    }

    const auto buttons =
        Widgets::saveCancelLayout(this, GroupBox1, QStringLiteral("Запись"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button2 = buttons.cancel;
    Widgets::centreAndFocus(this, [this]() { return f.Form1; }, Button3, Widgets::Refocus::OnShow);

    auto *g = new QGridLayout(GroupBox1);
    g->addWidget(Label1, 0, 0);
    g->addWidget(Edit1, 0, 1, 1, 4);
    g->addWidget(Button3, 0, 5);
    g->addWidget(Label2, 1, 0);
    g->addWidget(Edit2, 1, 1, 1, 4);
    g->addWidget(Button4, 1, 5);
    g->addWidget(Label3, 2, 0);
    g->addWidget(Edit3, 2, 1);
    g->addWidget(Label4, 2, 2, Qt::AlignRight);
    g->addWidget(Edit6, 2, 3);
    g->addWidget(Label6, 3, 0);
    g->addWidget(Edit5, 3, 1);
    g->addWidget(Label5, 3, 2, Qt::AlignRight);
    g->addWidget(DTimeP, 3, 3);
    g->addWidget(Label7, 4, 0);
    g->addWidget(Edit4, 4, 1);
    g->setRowMinimumHeight(5, 8);
    g->addWidget(Label8, 6, 0);
    g->addWidget(Edit8, 6, 1);
    g->addWidget(Label9, 6, 2, Qt::AlignRight);
    g->addWidget(Edit7, 6, 3);
    g->addWidget(Label10, 7, 2, Qt::AlignRight);
    g->addWidget(Edit9, 7, 3);
    g->setColumnStretch(4, 1);

    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Edit3);
    setTabOrder(Edit3, Edit6);
    setTabOrder(Edit6, Edit5);
    setTabOrder(Edit5, DTimeP);
    setTabOrder(DTimeP, Edit4);
    setTabOrder(Edit4, Button1);
    setTabOrder(Button1, Button2);

    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    Edit3->installEventFilter(this);
    Edit6->installEventFilter(this);

    connect(Button3, &QPushButton::clicked, this, &TForm11::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm11::Button4Click);
    KeyBindings::entryEditor(this, f);
}

TForm11::~TForm11() = default;

// ---------------------------------------------------------------- journal state

int TForm11::currentShift() const { return f.Form1 ? f.Form1->shift : 1; }

bool TForm11::dayOff() const { return f.Form1 && f.Form1->dayOff(); }

Dataset *TForm11::journal() const { return f.DataModule6->smena(currentShift()); }

// ---------------------------------------------------------------- openers

void TForm11::prepareAdd()
{
    DTimeP->setDate(f.Form1 ? f.Form1->date() : QDate::currentDate());
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    Edit5->clear();
    Edit4->setText(QStringLiteral("0"));
    Edit6->setText(QStringLiteral("0"));
    // A new entry has no price until its operation is picked; showing the
    // previous entry's figures next to an empty operation would mislead.
    cena = Decimal();
    basePrice.reset();
    repriced = false;
    painting = false; // no operation named yet
    Edit7->clear();
    Edit8->clear();
    Edit9->clear();
    setWindowTitle(QStringLiteral("Заведение новой позиции (11)"));
    Tag = 1;
    editedId = 0;
    saveKey = QUuid::createUuid();
}

bool TForm11::prepareEdit()
{
    Dataset *q = journal();
    if (q->isEmpty())
        return false;
    setWindowTitle(QStringLiteral("Изменение данных о позиции (11)"));
    Tag = 2;

    cena = Decimal();
    Decimal::fromVariant(q->value(QStringLiteral("cena")), &cena);
    DTimeP->setDate(q->value(QStringLiteral("data")).toDate());
    Edit1->setText(q->asString(QStringLiteral("fio")).trimmed());
    const QString vid = q->asString(QStringLiteral("vid")).trimmed();
    Edit2->setText(operationText(q->asString(QStringLiteral("marka")), vid, q->asInt(QStringLiteral("naimen"))));
    Edit3->setText(q->asString(QStringLiteral("kol_vo")).trimmed());
    Edit4->setText(q->asString(QStringLiteral("brak")).trimmed());
    Edit6->setText(QString::number(q->asInt(QStringLiteral("time"))));
    w_id = q->asInt(QStringLiteral("w_id"));
    i_id = q->asInt(QStringLiteral("i_id"));
    o_id = q->asInt(QStringLiteral("o_id"));
    editedId = q->asInt(QStringLiteral("id"));
    openedWorker = w_id;
    openedShift = q->value(QStringLiteral("smena")).isNull() ? currentShift() : q->asInt(QStringLiteral("smena"));
    openedDate = q->value(QStringLiteral("data")).toDate();
    saveKey = QUuid::createUuid();

    painting = Pricing::isPaintingKind(vid);
    Label6->setEnabled(painting);
    Edit5->setEnabled(painting);
    if (painting)
        Edit5->setText(q->asString(QStringLiteral("color")).trimmed());
    else
        Edit5->clear();

    // "Цена база": the operation's list price as it stands now (shown only;
    // the stored price stays unless the operation is picked again).
    repriced = false;
    basePrice.reset();
    try {
        Rows r = Gateway::run(f.DataModule6->connectionName(),
                              QStringLiteral("select min(price)::numeric as cena from accounts_dep.norm where o_id=?"), {o_id});
        Decimal list;
        if (r.next() && Decimal::fromVariant(r.value(0), &list))
            basePrice = list;
    } catch (const DbError &) {
        // the base price is only shown; without it the entry can still be changed
    }

    recomputeDisplays();
    return true;
}

int TForm11::addEntry()
{
    prepareAdd();
    return exec();
}

int TForm11::editEntry()
{
    Dataset *q = journal();
    const int rec = q->recNo();
    if (!prepareEdit())
        return QDialog::Rejected;
    const int result = exec();
    q->setRecNo(rec);
    return result;
}

// ---------------------------------------------------------------- price rule and displays

QString TForm11::formatNumber(const Decimal &v)
{
    // Four places at most, so the general format's 15 digits are never cut.
    return Pricing::round4(v).toString().replace(QLatin1Char('.'), QLocale().decimalPoint());
}

void TForm11::setWorker(const QString &name, int id)
{
    Edit1->setText(name.trimmed());
    w_id = id;
}

void TForm11::setOperation(const OperationChoice &op)
{
    if (op.id == 0)
        return;
    i_id = op.item;
    o_id = op.id;
    basePrice = op.listPrice;
    // The database's price for the journal's day and shift, read with the list;
    // while no server answers, the list's own price, marked as approximate
    if (op.finalPrice) {
        cena = *op.finalPrice;
        approximate = false;
    } else {
        cena = op.listPrice.value_or(Decimal());
        approximate = OfflineUi::serverDown();
    }
    repriced = true;
    painting = op.painting;
    Edit2->setText(op.text);
}

void TForm11::updateColourField()
{
    if (!painting)
        Edit5->clear();
    Label6->setEnabled(painting);
    Edit5->setEnabled(painting);
}

void TForm11::recomputeDisplays()
{
    if (Edit6->text().trimmed().isEmpty())
        Edit6->setText(QStringLiteral("0"));
    if (Edit3->text().trimmed().isEmpty())
        Edit3->setText(QStringLiteral("0"));
    Edit7->setText((approximate ? QStringLiteral("≈ ") : QString()) + formatNumber(cena));
    Edit8->setText(basePrice ? formatNumber(*basePrice) : QString());
    Edit9->setText((approximate ? QStringLiteral("≈ ") : QString()) + formatNumber(Pricing::amount(cena, Edit3->value())));
}

// ---------------------------------------------------------------- pickers

void TForm11::pickWorker()
{
    if (f.Form5 && f.Form5->pick(1))
        setWorker(f.Form5->PickedName, f.Form5->PickedId);
    Button3->setFocus();
}

void TForm11::pickOperation()
{
    bool chosen = false;
    if (f.Form4) {
        // A change starts from the entry's own operation.
        if (const auto op = OperationChoice::pick(f, Tag != 1 ? o_id : -1, currentShift(), dayOff())) {
            setOperation(*op);
            chosen = true;
        }
    }
    updateColourField();
    recomputeDisplays();
    // Chosen by keys or by the mouse alike, the quantity comes next.
    if (chosen)
        Edit3->setFocus(Qt::OtherFocusReason);
    else
        Button3->setFocus();
}

// ---------------------------------------------------------------- saving

QLineEdit *TForm11::firstEmptyField() const
{
    const auto empty = [](const QLineEdit *e) { return e->text().trimmed().isEmpty(); };
    for (QLineEdit *e : {Edit1, Edit2, static_cast<QLineEdit *>(Edit3), static_cast<QLineEdit *>(Edit6)})
        if (empty(e))
            return e;
    if (painting && empty(Edit5))
        return Edit5;
    if (empty(Edit4))
        return Edit4;
    return nullptr;
}

void TForm11::markField(QLineEdit *field)
{
    if (isMarked(field))
        return;
    field->setProperty("missing", true);
    field->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #cc0000; }"));
    // The mark goes with the first change of the text.
    QObject::connect(
        field, &QLineEdit::textChanged, field,
        [field]() {
            field->setProperty("missing", false);
            field->setStyleSheet(QString());
        },
        Qt::SingleShotConnection);
}

bool TForm11::isMarked(const QWidget *field) { return field->property("missing").toBool(); }

void TForm11::refuseAt(QLineEdit *field, const QString &message)
{
    markField(field);
    Dialogs::error(message);
    // The picked fields take no focus: their "..." button does.
    QWidget *target = field == Edit1 ? static_cast<QWidget *>(Button3) : field == Edit2 ? static_cast<QWidget *>(Button4) : field;
    target->setFocus(Qt::OtherFocusReason);
    if (target == field)
        field->selectAll();
}

bool TForm11::withinLimits()
{
    const struct {
        DigitEdit *field;
        int max;
        QString message;
    } limits[] = {
        {Edit3, MaxPieces, QStringLiteral("Кол-во: не больше 100 000.")},
        {Edit6, MaxHours, QStringLiteral("Часы: не больше 24.")},
        {Edit4, MaxPieces, QStringLiteral("Брак: не больше 100 000.")},
    };
    for (const auto &l : limits) {
        bool ok = false;
        const int v = l.field->value(&ok);
        if (!ok || v < 0 || v > l.max) {
            refuseAt(l.field, l.message);
            return false;
        }
    }
    return true;
}

bool TForm11::save()
{
    if (QLineEdit *empty = firstEmptyField()) {
        refuseAt(empty, QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    if (!withinLimits())
        return false;
    const bool adding = Tag == 1;
    if (!adding && editedId == 0) {
        Dialogs::error(QStringLiteral("Нет позиции для изменения: журнал пуст."));
        return false;
    }
    // Neither pieces nor defects: a digit lost in typing must not pass unseen.
    if (Edit3->value() == 0 && Edit4->value() == 0
        && !Dialogs::question(TeamShift::nothingDoneQuestion({Edit1->text().trimmed()}, QStringLiteral("эту позицию")), windowTitle())) {
        Edit3->setFocus(Qt::OtherFocusReason);
        Edit3->selectAll();
        return false;
    }

    Entries::Entry e;
    e.id = adding ? 0 : editedId;
    e.worker = w_id;
    e.item = i_id;
    e.operation = o_id;
    e.reprice = repriced;
    e.dayOff = dayOff();
    // Only a painting operation has a colour; anything left in a disabled
    // field is not part of the entry.
    e.colour = painting ? Edit5->value() : 0;
    e.quantity = Edit3->value();
    e.defects = Edit4->value();
    e.hours = Edit6->value();
    e.shift = currentShift();
    e.date = DTimeP->date();
    e.key = saveKey;
    if (!adding) {
        e.oldWorker = openedWorker;
        e.oldShift = openedShift;
        e.oldDate = openedDate;
    }

    // The save and the journal's read of its shift in one trip, each its own
    // transaction: a failing read leaves the entry saved.
    const QString conn = f.DataModule6->connectionName();
    Dataset *q = f.Form1 ? f.Form1->journal() : nullptr;
    QList<Gateway::Call> calls{Entries::saveCall(e)};
    if (q)
        calls << q->readCall();
    Gateway::Each read;
    const auto online = [&]() {
        try {
            QList<Gateway::Each> answers = Gateway::runEach(conn, calls);
            if (q)
                read = std::move(answers[1]);
            return Write::answer(answers[0]);
        } catch (const DbError &err) {
            // Lost while the answers were awaited: the save key settles a second press.
            return Outcome::refused(Outcome::Refused, err.text());
        }
    };
    bool queued = false; // no server answers: the entry waits on this workstation
    const Outcome outcome =
        OfflineUi::saveEntry(f, e, Edit1->text() + QStringLiteral(" · ") + Edit2->text(), Edit7->text(), online, &queued);
    if (queued)
        return true;
    if (outcome.ok())
        m_lastSavedId = outcome.id != 0 ? outcome.id : editedId;

    // Every transaction has ended: only now is anything shown.
    const bool saved = EntrySave::finish(
        outcome,
        [&]() {
            if (!q)
                return;
            if (!read.ok)
                throw DbError(read.error);
            const auto take = [&]() { q->takeRows(std::move(read.rows)); };
            if (f.Form1->live)
                f.Form1->live->keepingPlace(take);
            else
                take();
        },
        QStringLiteral("Позиция записана, но журнал не перечитан (нажмите \"Обновить\"):\n"));
    if (!saved) {
        // The database names the field it refuses; the focus goes there.
        const QString &t = outcome.text;
        QLineEdit *field = t.startsWith(QStringLiteral("Кол-во")) ? static_cast<QLineEdit *>(Edit3)
                           : t.startsWith(QStringLiteral("Брак")) ? static_cast<QLineEdit *>(Edit4)
                           : t.startsWith(QStringLiteral("Часы")) ? static_cast<QLineEdit *>(Edit6)
                                                                  : nullptr;
        if (field) {
            markField(field);
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
        }
    }
    return saved;
}

void TForm11::clearFields()
{
    for (QLineEdit *e : {Edit1, Edit2, static_cast<QLineEdit *>(Edit3), static_cast<QLineEdit *>(Edit4),
                         static_cast<QLineEdit *>(Edit5), static_cast<QLineEdit *>(Edit6), Edit7, Edit8, Edit9})
        e->clear();
}

void TForm11::Button1Click()
{
    // A refusal keeps the window open with what was typed, so nothing is lost.
    if (!save())
        return;
    clearFields();
    accept();
}

// ---------------------------------------------------------------- events

bool TForm11::eventFilter(QObject *o, QEvent *e)
{
    if ((o == Edit1 || o == Edit2) && e->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
        if (o == Edit1)
            pickWorker();
        else
            pickOperation();
        return true;
    }
    if ((o == Edit3 || o == Edit6) && e->type() == QEvent::FocusOut) {
        // Leaving the field for another one of this window, not for a message box
        const Qt::FocusReason why = static_cast<QFocusEvent *>(e)->reason();
        if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
            recomputeDisplays();
    }
    return QDialog::eventFilter(o, e);
}
