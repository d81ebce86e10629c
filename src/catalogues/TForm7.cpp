#include "TForm7.h"
#include "CatalogueWrite.h"

#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/Dialogs.h"
#include "ui/Limits.h"
#include "ui/Forms.h"
#include "ui/Lookup.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolTip>
#include <QValidator>

namespace {
const QRegularExpression kDecimal(QStringLiteral("^[0-9]*\\.?[0-9]*$"));
// Pasted text must be a plain number as well; its decimal comma becomes a
// point, as a typed one does.
class DecimalValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input.replace(QLatin1Char(','), QLatin1Char('.'));
        return kDecimal.match(input).hasMatch() ? Acceptable : Invalid;
    }
};
} // namespace

DecimalEdit::DecimalEdit(QWidget *parent) : QLineEdit(parent)
{
    setValidator(new DecimalValidator(this));
    // a refused character (a second point, a letter pasted) is not lost silently
    connect(this, &QLineEdit::inputRejected, this, [this]() {
        QToolTip::showText(mapToGlobal(QPoint(0, height())),
                           QStringLiteral("Допускаются только цифры и одна десятичная точка."), this);
    });
}

void DecimalEdit::keyPressEvent(QKeyEvent *e)
{
    const QString t = e->text();
    const bool typed = !t.isEmpty() && t.at(0).isPrint()
        && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!typed) {
        QLineEdit::keyPressEvent(e); // Backspace, arrows, Enter, Esc, shortcuts
        return;
    }
    const QChar c = t.at(0);
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        QLineEdit::keyPressEvent(e);
    } else if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
        // The validator refuses a second point.
        const QString before = text();
        insert(QStringLiteral("."));
        if (text() == before && !hasSelectedText())
            emit inputRejected();
    } else {
        emit inputRejected();
    }
    e->accept(); // anything else is discarded
}

TForm7::TForm7(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Заведение нового изделия (7)"));

    item = new Dataset(f.DataModule6->connectionName(), this);
    item->setObjectName(QStringLiteral("item"));
    item->setSql(QStringLiteral("select * from cmn_classifier.item where id_level=2 order by s_caption"));
    connect(item, &Dataset::reset, this, [this]() { fillGroups(); });

    GroupBox1 = new QGroupBox(QStringLiteral("Данные об изделии"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(300);
    Edit1->setMaxLength(254); // gds_and_srv.s_caption
    Edit2 = new DecimalEdit(GroupBox1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    cb_item = new QComboBox(GroupBox1);
    cb_item->setObjectName(QStringLiteral("cb_item"));
    cb_item->setMaxVisibleItems(10);
    // fillGroups() blocks this, so only a choice changes the kept group
    connect(cb_item, &QComboBox::currentIndexChanged, this, [this](int i) { m_groupKey = cb_item->itemData(i); });

    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Марка"), Edit1);
    form->addRow(QStringLiteral("Расценка"), Edit2);
    form->addRow(QStringLiteral("Номенклатурная группа"), cb_item);

    const auto buttons =
        Widgets::saveCancelLayout(this, GroupBox1, QStringLiteral("Записать"), [this]() { Button1Click(); });
    Button1 = buttons.save;
    Button2 = buttons.cancel;
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, Edit1, Widgets::Refocus::OnShowAndActivation);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, cb_item);
    setTabOrder(cb_item, Button1);
    setTabOrder(Button1, Button2);
}

void TForm7::fillGroups()
{
    const QSignalBlocker block(cb_item);
    fillLookup(cb_item, *item, m_groupKey);
}

qint64 TForm7::group() const
{
    return cb_item->currentIndex() >= 0 ? idValue(cb_item->currentData()) : 0;
}

void TForm7::setGroup(const QVariant &id)
{
    m_groupKey = id.isNull() ? QVariant() : QVariant(idValue(id));
    fillGroups();
}

QString TForm7::massaText(const QVariant &massa)
{
    if (massa.isNull())
        return QString();
    QString s = massa.toString().trimmed();
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

bool TForm7::save()
{
    const QString brand = Edit1->text().trimmed();
    const QString massa = Edit2->text().trimmed();
    // The factor must be a plain number.
    static const QRegularExpression plainNumber(QStringLiteral("^-?([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    const bool number = plainNumber.match(massa).hasMatch();
    const qint64 g = group();
    if (brand.isEmpty() || massa.isEmpty() || !number || g == 0) {
        Dialogs::error(QStringLiteral("Все поля должны быть заполнены!"));
        return false;
    }
    // gds_and_srv.massa is numeric(18,6), s_caption varchar(254): refused
    // here, in words, before the server would say it in English.
    for (const QString &why : {Limits::numericProblem(QStringLiteral("Расценка"), massa, 18, 6),
                               Limits::lengthProblem(QStringLiteral("Марка"), brand, 254)})
        if (!why.isEmpty()) {
            Dialogs::error(why);
            return false;
        }
    // Brands are the same when they agree without regard to letter case: the
    // database checks that and writes in one step. The factor travels as
    // decimal text, so no delimiter setting can change the number.
    const QString conn = f.DataModule6->connectionName();
    const bool saved = Tag == 1
        ? CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.product_add(?, ?::numeric, ?::numeric)"), {brand, massa, g})
        : CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.product_change(?::numeric, ?, ?::numeric, ?::numeric)"),
                               {productId, brand, massa, g});
    if (!saved)
        return false;
    Dataset &izdel = f.DataModule6->Izdel;
    izdel.close();
    izdel.open();
    return true;
}

void TForm7::Button1Click()
{
    if (save())
        reject();
}
