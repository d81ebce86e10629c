#include "TForm22.h"

#include "CatalogueList.h"
#include "db/Dataset.h"
#include "db/Sql.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

namespace {

struct NormColumn {
    const char *field;
    const char *title;
};
const NormColumn kColumns[] = {{"norma", "Норматив"}, {"price", "Цена"}, {"prize", "Премия, %"}};
constexpr int kColumnCount = int(std::size(kColumns));

QLocale shownLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

// A grid that can be told to store the cell being edited, as leaving it would.
class NormGrid : public QTableView {
public:
    using QTableView::QTableView;
    void commitPending()
    {
        if (state() != QAbstractItemView::EditingState)
            return;
        if (QWidget *editor = indexWidget(currentIndex())) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
};

} // namespace

// The norms as grid rows, with one empty row below the last one for a new norm.
class NormModel : public QAbstractTableModel {
public:
    NormModel(TForm22 *w, Dataset *ds) : QAbstractTableModel(w), m_w(w), m_ds(ds) {}

    void reread()
    {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_ds->recordCount() + 1;
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : kColumnCount;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::NoItemFlags;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return QVariant();
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return QVariant();
        const QString field = QString::fromLatin1(kColumns[index.column()].field);
        const QVariant v = m_ds->valueAt(index.row(), field); // invalid on the new row
        if (v.isNull())
            return QString();
        if (field == QLatin1String("price"))
            return TForm22::priceText(v);
        return v.toString();
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        return m_w->storeCell(index.row(), QString::fromLatin1(kColumns[index.column()].field), value.toString());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o != Qt::Horizontal || section < 0 || section >= kColumnCount)
            return QAbstractTableModel::headerData(section, o, role);
        if (role == Qt::DisplayRole)
            return QString::fromUtf8(kColumns[section].title);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role == Qt::FontRole) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return QVariant();
    }

private:
    TForm22 *m_w;
    Dataset *m_ds;
};

TForm22::TForm22(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("TForm22"));
    setWindowTitle(QStringLiteral("Норматив"));

    norm = new Dataset(f.DataModule6->connectionName(), this);
    norm->setObjectName(QStringLiteral("norm"));
    norm->setSql(QStringLiteral("select id, o_id, norma, price, prize from accounts_dep.norm where o_id=:o_id order by norma, id"));

    auto *grid = new NormGrid(this);
    DBGrid1 = grid;
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    gridModel = new NormModel(this, norm);
    DBGrid1->setModel(gridModel);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 8);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < kColumnCount; ++c)
        DBGrid1->setColumnWidth(c, 120);
    DBGrid1->setFixedSize(380, 260);

    auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    Button1 = button("Button1", "Сохранить");
    Button2 = button("Button2", "Удалить");
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this]() { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this]() { Button2Click(); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    auto *lay = new QVBoxLayout(this);
    lay->addWidget(DBGrid1);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

QString TForm22::priceText(const QVariant &price)
{
    if (price.isNull() || price.toString().isEmpty())
        return QString();
    QString s = shownLocale().toString(price.toString().toDouble(), 'f', 3);
    if (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    return s;
}

void TForm22::openFor(int id)
{
    operId = id;
    norm->close();
    readNorms();
    DBGrid1->setCurrentIndex(gridModel->index(0, 0));
    exec();
}

void TForm22::readNorms()
{
    const QModelIndex cur = DBGrid1->currentIndex();
    const QVariant id = cur.isValid() ? norm->valueAt(cur.row(), QStringLiteral("id")) : QVariant();
    norm->close();
    norm->setParam(QStringLiteral("o_id"), operId);
    norm->open();
    gridModel->reread();
    int row = cur.isValid() ? cur.row() : 0;
    if (id.isValid() && norm->locate(QStringLiteral("id"), id))
        row = norm->recNo() - 1;
    row = qBound(0, row, gridModel->rowCount() - 1);
    DBGrid1->setCurrentIndex(gridModel->index(row, cur.isValid() ? cur.column() : 0));
}

bool TForm22::storeCell(int row, const QString &field, const QString &typed)
{
    int column = -1;
    for (int c = 0; c < kColumnCount; ++c)
        if (field.compare(QLatin1String(kColumns[c].field), Qt::CaseInsensitive) == 0)
            column = c;
    if (column < 0 || row < 0 || row > norm->recordCount())
        return false;
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return false; // an emptied cell keeps what it had; a new row is not begun

    // Whole non-negative numbers for the norm and the bonus, a non-negative
    // price with up to 11 whole digits (the column's range).
    QString literal;
    double number = 0;
    bool ok = false;
    if (column == 1) {
        QString t = text;
        t.replace(QLatin1Char(','), QLatin1Char('.'));
        number = t.toDouble(&ok);
        ok = ok && std::isfinite(number) && number >= 0 && number < 1e11;
        literal = Sql::num(number);
    } else {
        const qint64 v = text.toLongLong(&ok);
        ok = ok && v >= 0 && v <= INT_MAX;
        number = double(v);
        literal = Sql::num(v);
    }
    if (!ok) {
        Dialogs::error(QStringLiteral("«%1» — неверное значение поля «%2».").arg(typed, QString::fromUtf8(kColumns[column].title)));
        return false;
    }

    TDataModule6 &dm = *f.DataModule6;
    const bool isNew = row == norm->recordCount();
    const QString name = QString::fromLatin1(kColumns[column].field);
    int id = 0;
    if (isNew) {
        dm.SQL_exec.exec(QStringLiteral("insert into accounts_dep.norm (o_id, %1) values (%2, %3)")
                             .arg(name, QString::number(operId), literal));
        id = dm.controlInt(QStringLiteral("select max(id) as id from accounts_dep.norm where o_id=") + QString::number(operId),
                           QStringLiteral("id"));
    } else {
        const QVariant old = norm->valueAt(row, name);
        id = norm->valueAt(row, QStringLiteral("id")).toInt();
        if (!old.isNull() && old.toString().toDouble() == number)
            return true; // unchanged: nothing to store
        dm.SQL_exec.exec(QStringLiteral("update accounts_dep.norm set %1=%2 where id=%3").arg(name, literal, QString::number(id)));
    }
    // Read again: the row moves to its place by norma; the cursor goes with it.
    norm->close();
    norm->setParam(QStringLiteral("o_id"), operId);
    norm->open();
    gridModel->reread();
    const int at = norm->locate(QStringLiteral("id"), id) ? norm->recNo() - 1 : 0;
    DBGrid1->setCurrentIndex(gridModel->index(at, column));
    return true;
}

void TForm22::deleteNorm(int row)
{
    if (row >= 0 && row < norm->recordCount() && norm->recordCount() > 1)
        f.DataModule6->SQL_exec.exec(QStringLiteral("delete from accounts_dep.norm where id=")
                                     + QString::number(norm->valueAt(row, QStringLiteral("id")).toInt()));
    readNorms();
}

void TForm22::Button2Click()
{
    commitPendingEdit();
    deleteNorm(DBGrid1->currentIndex().row());
}

void TForm22::commitPendingEdit() { static_cast<NormGrid *>(DBGrid1)->commitPending(); }

void TForm22::saveAndClose()
{
    commitPendingEdit();
    Dataset &oper = f.DataModule6->Oper;
    if (oper.isOpen()) {
        // so that "Цена (min)" and "Нормы (шт.)" show the new values
        const int recNo = oper.recNo();
        oper.close();
        oper.open();
        oper.setRecNo(recNo);
    }
    QDialog::accept();
}

void TForm22::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    CatalogueList::centreOn(this, f.Form1);
    DBGrid1->setFocus();
}
