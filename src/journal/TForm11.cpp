#include "TForm11.h"
#include "OfflineUi.h"

#include "KeyBindings.h"
#include "TForm1.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm5.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "journal/EntrySave.h"
#include "records/Entries.h"
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

    SmenaIU = new Command(f.DataModule6 ? f.DataModule6->connectionName() : QString());

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

TForm11::~TForm11() { delete SmenaIU; }

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

    // "Цена база": the operation's list price as it stands now.
    TDataModule6 &dm = *f.DataModule6;
    dm.Control.close();
    dm.Control.setSql(QStringLiteral("select min(price)::numeric as cena from accounts_dep.norm where o_id=") + Sql::num(qint64(o_id)));
    dm.Control.open();
    Decimal list;
    const bool known = Decimal::fromVariant(dm.Control.value(QStringLiteral("cena")), &list);
    dm.Control.close();
    basePrice = known ? std::optional<Decimal>(list) : std::nullopt;

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
    // The price as the database will store it (no norm price: none, and a save is refused)
    try {
        const auto p = Pricing::entryPrice(f.DataModule6->connectionName(), op.id, currentShift(), dayOff());
        cena = p ? p->exact : Decimal();
        approximate = false;
    } catch (const DbError &) { // no server answers: the last read list's price, the database sets the real one
        cena = op.listPrice.value_or(Decimal());
        approximate = true;
    }
    painting = op.painting;
    Edit2->setText(op.text);
}

void TForm11::setOperationFromOper() { setOperation(OperationChoice::fromOper(f.DataModule6->Oper)); }

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
    if (f.Form4) {
        // A change starts from the entry's own operation.
        int operId = -1;
        if (Tag != 1 && !journal()->isEmpty())
            operId = journal()->asInt(QStringLiteral("o_id"));
        if (const auto op = OperationChoice::pick(f, operId))
            setOperation(*op);
    }
    updateColourField();
    recomputeDisplays();
    Button3->setFocus();
}

// ---------------------------------------------------------------- saving

bool TForm11::save()
{
    TDataModule6 &dm = *f.DataModule6;
    if (Edit1->text().trimmed().isEmpty() || Edit2->text().trimmed().isEmpty() || Edit3->text().trimmed().isEmpty()
        || Edit4->text().trimmed().isEmpty() || (painting && Edit5->text().trimmed().isEmpty())
        || Edit6->text().trimmed().isEmpty()) {
        Dialogs::error(QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    const bool adding = Tag == 1;
    Dataset *q = journal();
    if (!adding && editedId == 0) {
        Dialogs::error(QStringLiteral("Нет позиции для изменения: журнал пуст."));
        return false;
    }

    Entries::Entry e;
    e.id = adding ? 0 : editedId;
    e.worker = w_id;
    e.item = i_id;
    e.operation = o_id;
    e.dayOff = dayOff(); // the database prices a new entry, or one moved to another operation
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
    bool queued = false; // no server answers: the entry waits on this workstation
    const Outcome outcome = OfflineUi::saveEntry(f, e, Edit1->text() + QStringLiteral(" · ") + Edit2->text(), Edit7->text(),
                                                 [&]() { return Entries::save(dm.connectionName(), e); }, &queued);
    if (queued)
        return true;

    // The transaction has ended: only now is anything shown or read.
    return EntrySave::finish(
        outcome,
        [&]() {
            // The timesheets by shifts read afresh when next shown
            dm.H_Tabel_1.close();
            dm.H_Tabel_2.close();
            dm.H_Tabel_3.close();
            // The journal read again, the selection kept on the entry it was on.
            const auto reread = [q]() {
                const int rec = q->recNo();
                q->close();
                q->open();
                if (q->recordCount() >= 1 && rec >= 1)
                    q->setRecNo(rec);
            };
            if (f.Form1 && f.Form1->live)
                f.Form1->live->keepingPlace(reread);
            else
                reread();
        },
        QStringLiteral("Позиция записана, но журнал не перечитан (нажмите \"Обновить\"):\n"));
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
