#include "TForm24.h"
#include "TForm11.h"
#include "OfflineUi.h"

#include "KeyBindings.h"
#include "TForm25.h"
#include "catalogues/TForm26.h"
#include "catalogues/TForm5.h"
#include "db/DbError.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "journal/EntrySave.h"
#include "records/DayCells.h"
#include "records/HousekeepingEntries.h"
#include "records/Pricing.h"
#include "ui/Dialogs.h"
#include "ui/DigitEdit.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kHousekeeping = 7777;

// A price as stored (shortest form); a sum of money (`places` 2) with its
// kopecks; the user's decimal separator.
QString shown(const std::optional<Decimal> &v, int places = -1)
{
    if (!v)
        return QString();
    const QString t = places < 0 ? v->toString() : v->toFixed(places);
    return QString(t).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace

TForm24::TForm24(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm24"));
    setWindowTitle(QStringLiteral("Хоз. работы/среднесдельная (24)"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QApplication::windowIcon());

    type_work = new Dataset(f.DataModule6->connectionName(), this);
    type_work->setObjectName(QStringLiteral("type_work"));
    type_work->sql = QStringList{
        QStringLiteral("select vo.id, vo.vid, n.price, (n.price*:cnt) as summ from accounts_dep.vid_oper vo,accounts_dep.norm n, "
                       "accounts_dep.oper o "),
        QStringLiteral("where n.o_id =o.id and o.vid=vo.id and (vo.id = 7777 or vo.id = 7778)"),
    };
    type_work->setParam(QStringLiteral("cnt"), 0.0);

    auto *body = new QWidget(this);
    cb_type_work = new QComboBox(body);
    cb_type_work->setObjectName(QStringLiteral("cb_type_work"));
    GroupBox1 = new QGroupBox(QStringLiteral("Закрыто мастером"), body);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    auto label = [this](const char *name, const char *caption) {
        return Widgets::named<QLabel>(GroupBox1, name, QString::fromUtf8(caption));
    };
    Label1 = label("Label1", "ФИО");
    Edit1 = Widgets::shownField(GroupBox1, "Edit1", 300);
    Button3 = Widgets::pushButton(GroupBox1, "Button3", QStringLiteral("..."));
    Button3->setFixedWidth(32);
    Label2 = label("Label2", "Номенклатура");
    Edit2 = Widgets::shownField(GroupBox1, "Edit2", 300);
    Button4 = Widgets::pushButton(GroupBox1, "Button4", QStringLiteral("..."));
    Button4->setFixedWidth(32);
    Edit6 = new DigitEdit(GroupBox1);
    Edit6->setObjectName(QStringLiteral("Edit6"));
    Edit6->setFixedWidth(60);
    Edit6->setText(QStringLiteral("0"));
    Label3 = label("Label3", "ч.    Цена");
    DBEdit1 = new QLineEdit(GroupBox1);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    Label4 = label("Label4", "р.    Сумма");
    DBEdit2 = new QLineEdit(GroupBox1);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    for (QLineEdit *e : {DBEdit1, DBEdit2}) {
        e->setEnabled(false); // display only
        e->setFixedWidth(80);
        e->setAlignment(Qt::AlignRight);
    }
    CBox1 = Widgets::named<QCheckBox>(GroupBox1, "CBox1", QStringLiteral("Ночные"));

    auto *g = new QGridLayout(GroupBox1);
    g->addWidget(Label1, 0, 0);
    g->addWidget(Edit1, 0, 1, 1, 5);
    g->addWidget(Button3, 0, 6);
    g->addWidget(Label2, 1, 0);
    g->addWidget(Edit2, 1, 1, 1, 5);
    g->addWidget(Button4, 1, 6);
    g->addWidget(Edit6, 2, 1);
    g->addWidget(Label3, 2, 2);
    g->addWidget(DBEdit1, 2, 3);
    g->addWidget(Label4, 2, 4);
    g->addWidget(DBEdit2, 2, 5);
    g->addWidget(CBox1, 3, 1, 1, 3);
    g->setColumnStretch(5, 1);

    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(cb_type_work);
    bodyLayout->addWidget(GroupBox1);

    const auto buttons = Widgets::saveCancelLayout(this, body, QStringLiteral("Записать"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button6 = buttons.cancel;
    Button6->setObjectName(QStringLiteral("Button6"));
    Button6->setText(QStringLiteral("Выход"));
    Widgets::centreAndFocus(this, {}, Button3, Widgets::Refocus::OnShow);

    setTabOrder(cb_type_work, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Edit6);
    setTabOrder(Edit6, CBox1);
    setTabOrder(CBox1, Button1);
    setTabOrder(Button1, Button6);

    connect(cb_type_work, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        if (type_work->isOpen() && i >= 0)
            type_work->setRecNo(i + 1);
        showKind();
    });
    connect(Edit6, &QLineEdit::textChanged, this, &TForm24::showKind);
    connect(Button3, &QPushButton::clicked, this, &TForm24::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm24::Button4Click);
    KeyBindings::housekeepingEditor(this, f);
}

// ---------------------------------------------------------------- work kinds

void TForm24::fillKinds()
{
    QSignalBlocker block(cb_type_work);
    cb_type_work->clear();
    for (int r = 0; r < type_work->recordCount(); ++r)
        cb_type_work->addItem(type_work->valueAt(r, QStringLiteral("vid")).toString().trimmed(),
                              type_work->valueAt(r, QStringLiteral("id")).toInt());
    cb_type_work->setCurrentIndex(-1);
}

int TForm24::workKind() const
{
    return cb_type_work->currentIndex() < 0 ? 0 : cb_type_work->currentData().toInt();
}

std::optional<Decimal> TForm24::kindPrice() const
{
    const int i = cb_type_work->currentIndex();
    if (i < 0 || i >= type_work->recordCount())
        return std::nullopt;
    Decimal p;
    if (!Decimal::fromVariant(type_work->valueAt(i, QStringLiteral("price")), &p))
        return std::nullopt;
    return p;
}

void TForm24::setWorkKind(int kind)
{
    cb_type_work->setCurrentIndex(cb_type_work->findData(kind));
    showKind();
}

void TForm24::showKind()
{
    const std::optional<Decimal> price = kindPrice();
    DBEdit1->setText(shown(price));
    // The amount follows the hours as they are typed; it is not stored.
    bool ok = false;
    const int hours = Edit6->value(&ok);
    DBEdit2->setText(price ? shown(*price * Decimal::fromInt(ok ? hours : 0), 2) : QString());
}

bool TForm24::priceFits(const Decimal &price)
{
    // fatigue.price is numeric(15,4): under 10^11 once rounded to 4 places
    Decimal rounded;
    Decimal::parse(price.toFixed(4), &rounded);
    Decimal limit = Decimal::fromInt(100000000000LL);
    return rounded.compare(limit) < 0 && rounded.compare(-limit) > 0;
}

QString TForm24::priceText(const Decimal &price)
{
    // The general format: at most 15 significant digits
    return QString::number(price.toString().toDouble(), 'g', 15);
}

// ---------------------------------------------------------------- openers

void TForm24::prepareAdd()
{
    Tag = 0;
    type_work->close();
    type_work->open();
    fillKinds();
    Edit1->clear();
    Edit2->clear();
    Edit6->setText(QStringLiteral("0"));
    CBox1->setChecked(false);
    CBox1->setEnabled(true);
    id_nom = 0;
    id_p = 0;
    setWorkKind(kHousekeeping);
    saveKey = QUuid::createUuid();
}

void TForm24::prepareEdit()
{
    Tag = 1;
    saveKey = QUuid::createUuid();
    type_work->close();
    type_work->open();
    fillKinds();
    const Dataset *list = f.Form25 ? f.Form25->fatigue : nullptr;
    if (list && !list->isEmpty()) {
        Edit1->setText(list->asString(QStringLiteral("fio")).trimmed());
        Edit2->setText(list->asString(QStringLiteral("s_caption")).trimmed());
        Edit6->setText(QString::number(list->asInt(QStringLiteral("cnt"))));
        id_nom = qRound64(list->value(QStringLiteral("id_nom")).toString().toDouble());
        id_p = list->asInt(QStringLiteral("id_p"));
        setWorkKind(list->asInt(QStringLiteral("id_o")));
        CBox1->setChecked(list->asInt(QStringLiteral("i_night")) != 0);
    } else {
        // Nothing to change: a save is refused.
        Edit1->clear();
        Edit2->clear();
        Edit6->setText(QStringLiteral("0"));
        CBox1->setChecked(false);
        id_nom = 0;
        id_p = 0;
        setWorkKind(kHousekeeping);
    }
    // The night flag of an entry stays what it was keyed in with.
    CBox1->setEnabled(false);
}

int TForm24::addEntry()
{
    prepareAdd();
    const int r = exec();
    type_work->close();
    return r;
}

int TForm24::editEntry()
{
    prepareEdit();
    const int r = exec();
    type_work->close();
    return r;
}

// ---------------------------------------------------------------- pickers

void TForm24::pickWorker()
{
    if (f.Form5 && f.Form5->pick(24)) {
        Edit1->setText(f.Form5->PickedName.trimmed());
        id_p = f.Form5->PickedId;
    }
}

void TForm24::pickNomenclature()
{
    if (f.Form26 && f.Form26->pick()) {
        id_nom = f.Form26->PickedId;
        Edit2->setText(f.Form26->PickedName);
    }
}

// ---------------------------------------------------------------- saving

bool TForm24::save()
{
    TForm25 *list = f.Form25;
    // A refusal names the field, marks it and puts the focus there (a picked
    // field through its "..." button).
    const auto refuse = [](QLineEdit *field, QWidget *focus, const QString &message) {
        TForm11::markField(field);
        Dialogs::error(message);
        focus->setFocus(Qt::OtherFocusReason);
        if (focus == field)
            field->selectAll();
        return false;
    };
    if (!list)
        return false;
    if (id_p == 0)
        return refuse(Edit1, Button3, QStringLiteral("Все поля должны быть заполнены!"));
    if (id_nom == 0)
        return refuse(Edit2, Button4, QStringLiteral("Все поля должны быть заполнены!"));
    bool ok = false;
    const int hours = Edit6->value(&ok);
    if (!ok || hours <= 0)
        return refuse(Edit6, Edit6, QStringLiteral("Нужно завести количество!"));
    if (hours > TForm11::MaxHours)
        return refuse(Edit6, Edit6, QStringLiteral("Часы: не больше 24."));
    const int kind = workKind();
    const std::optional<Decimal> normPrice = kindPrice();
    if (kind == 0 || !normPrice) {
        Dialogs::error(QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    const bool adding = Tag == 0;
    Dataset *rows = list->fatigue;
    if (!adding && rows->isEmpty()) {
        Dialogs::error(QStringLiteral("Нет позиции для изменения: список пуст."));
        return false;
    }

    // the hour's price as the database will store it
    const Decimal hour = Pricing::housekeepingPrice(f.DataModule6->connectionName(), kind, list->dayOff(), CBox1->isChecked())
                             .value_or(Decimal());
    if (!priceFits(hour)) {
        Dialogs::error(QStringLiteral("Цена часа %1 больше наибольшей возможной (99999999999.9999): позиция не записана. "
                                      "Проверьте расценку вида работ.")
                           .arg(priceText(hour)));
        return false;
    }
    HousekeepingEntries::Entry e;
    e.id = adding ? 0 : rows->asInt(QStringLiteral("id"));
    e.worker = id_p;
    e.nomenclature = id_nom;
    e.kind = kind;
    e.date = list->listDate();
    e.shift = list->shiftValue;
    e.hours = hours;
    e.holiday = list->dayOff();
    e.night = CBox1->isChecked();
    e.key = saveKey;
    bool queued = false; // no server answers: the entry waits on this workstation
    const Outcome outcome = OfflineUi::saveHousekeeping(
        f, e, Edit1->text(), [&]() { return HousekeepingEntries::save(f.DataModule6->connectionName(), e); }, &queued);
    if (queued)
        return true;
    if (outcome.ok())
        m_lastSavedId = outcome.id ? outcome.id : e.id;

    // The transaction has ended: only now is anything shown or read.
    const bool saved = EntrySave::finish(
        outcome, [&]() { rows->refresh(); },
        QStringLiteral("Позиция записана, но список не перечитан (закройте и откройте его снова):\n"));
    if (!saved && outcome.text.startsWith(QStringLiteral("Часы"))) {
        // the database's refusal of the worker's day: the hours are the field to correct
        TForm11::markField(Edit6);
        Edit6->setFocus(Qt::OtherFocusReason);
        Edit6->selectAll();
    }
    return saved;
}

void TForm24::Button1Click()
{
    // A refusal keeps the window open with what was typed, so nothing is lost.
    if (!save())
        return;
    accept();
}
