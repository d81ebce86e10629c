#include "TForm22.h"
#include "CatalogueWrite.h"

#include "db/Dataset.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "ui/DatasetModel.h"
#include "ui/Dialogs.h"
#include "ui/Limits.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
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
// Enter in a cell ends the edit there; only the next Enter reaches "Сохранить"
// (the edit is then stored and closed before the window goes).
class NormGrid : public QTableView {
public:
    using QTableView::QTableView;
    void keyPressEvent(QKeyEvent *e) override
    {
        if (state() == QAbstractItemView::EditingState && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
            e->accept();
            return;
        }
        QTableView::keyPressEvent(e);
    }
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
// It keeps its own copy of the rows, so that a re-read while a cell is being
// left moves the rows (and the editor and cursor with them) instead of
// resetting the grid under the editor.
class NormModel : public QAbstractTableModel {
public:
    explicit NormModel(TForm22 *w) : QAbstractTableModel(w), m_w(w) {}

    int storedCount() const { return m_rows.size(); }
    QVariant value(int row, int column) const
    {
        return row >= 0 && row < m_rows.size() ? m_rows.at(row).at(column + 1) : QVariant();
    }
    int idAt(int row) const { return row >= 0 && row < m_rows.size() ? m_rows.at(row).at(0).toInt() : 0; }
    int rowOf(int id) const
    {
        for (int r = 0; r < m_rows.size(); ++r)
            if (idAt(r) == id)
                return r;
        return -1;
    }

    // Everything anew (opening, deleting)
    void load(const Dataset &ds)
    {
        beginResetModel();
        m_rows = rowsOf(ds);
        endResetModel();
    }
    // The same norms read again: new ones take the place of the empty row
    // (the one just begun there first), the rows move to their order and show
    // their stored values.
    void update(const Dataset &ds, int begunId)
    {
        const QVector<QVariantList> fresh = rowsOf(ds);
        QSet<int> freshIds;
        for (const QVariantList &r : fresh)
            freshIds.insert(r.at(0).toInt());
        for (int r = m_rows.size() - 1; r >= 0; --r)
            if (!freshIds.contains(idAt(r))) { // gone meanwhile
                beginRemoveRows(QModelIndex(), r, r);
                m_rows.removeAt(r);
                endRemoveRows();
            }
        QVector<QVariantList> added;
        for (const QVariantList &r : fresh)
            if (rowOf(r.at(0).toInt()) < 0)
                (r.at(0).toInt() == begunId ? added.prepend(r) : added.append(r));
        for (const QVariantList &r : added) {
            const int n = m_rows.size();
            beginInsertRows(QModelIndex(), n + 1, n + 1); // a new empty row below it
            m_rows.append(r);
            endInsertRows();
        }
        emit layoutAboutToBeChanged();
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        for (const QModelIndex &i : from) {
            int row = fresh.size(); // the empty row stays last
            if (i.row() < m_rows.size())
                for (int k = 0; k < fresh.size(); ++k)
                    if (fresh.at(k).at(0).toInt() == idAt(i.row()))
                        row = k;
            to << createIndex(row, i.column());
        }
        m_rows = fresh;
        changePersistentIndexList(from, to);
        emit layoutChanged();
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_rows.size() + 1;
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
        const QVariant v = value(index.row(), index.column()); // invalid on the empty row
        if (v.isNull())
            return QString();
        if (index.column() == 1)
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
        return gridTitle(QString::fromUtf8(kColumns[section].title), role);
    }

private:
    static QVector<QVariantList> rowsOf(const Dataset &ds)
    {
        QVector<QVariantList> rows;
        for (int r = 0; r < ds.recordCount(); ++r) {
            QVariantList row{ds.valueAt(r, QStringLiteral("id"))};
            for (const NormColumn &c : kColumns)
                row << ds.valueAt(r, QString::fromLatin1(c.field));
            rows << row;
        }
        return rows;
    }
    TForm22 *m_w;
    QVector<QVariantList> m_rows; // id, then the columns
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
    m_norms = new NormModel(this);
    gridModel = m_norms;
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

    Button1 = Widgets::pushButton(this, "Button1", QStringLiteral("Сохранить"));
    Button2 = Widgets::pushButton(this, "Button2", QStringLiteral("Удалить"));
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
    Widgets::centreAndFocus(this, [this]() { return f.mainWindow; }, DBGrid1, Widgets::Refocus::OnShow);
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
    const int id = cur.isValid() ? m_norms->idAt(cur.row()) : 0;
    norm->close();
    norm->setParam(QStringLiteral("o_id"), operId);
    norm->open();
    m_norms->load(*norm);
    int row = cur.isValid() ? cur.row() : 0;
    if (id > 0 && m_norms->rowOf(id) >= 0)
        row = m_norms->rowOf(id);
    row = qBound(0, row, gridModel->rowCount() - 1);
    DBGrid1->setCurrentIndex(gridModel->index(row, cur.isValid() ? cur.column() : 0));
}

bool TForm22::storeCell(int row, const QString &field, const QString &typed)
{
    int column = -1;
    for (int c = 0; c < kColumnCount; ++c)
        if (field.compare(QLatin1String(kColumns[c].field), Qt::CaseInsensitive) == 0)
            column = c;
    if (column < 0 || row < 0 || row > m_norms->storedCount())
        return false;
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return false; // an emptied cell keeps what it had; a new row is not begun

    // Whole non-negative numbers for the norm and the bonus, a non-negative
    // price with up to 11 whole digits (the column's range). The value goes
    // to the database as decimal text, exactly as typed.
    QString value;
    double number = 0;
    bool ok = false;
    if (column == 1) {
        value = text;
        value.replace(QLatin1Char(','), QLatin1Char('.'));
        number = value.toDouble(&ok);
        ok = ok && std::isfinite(number) && number >= 0 && !value.contains(QLatin1Char('e'), Qt::CaseInsensitive);
        // accounts_dep.norm.price is numeric(15,4): a price that rounds past
        // it is refused here, in words, not by the server in English.
        if (ok) {
            if (const QString why = Limits::numericProblem(QString::fromUtf8(kColumns[column].title), value, 15, 4); !why.isEmpty()) {
                Dialogs::error(why);
                return false;
            }
        }
    } else {
        const qint64 v = text.toLongLong(&ok);
        ok = ok && v >= 0 && v <= INT_MAX;
        number = double(v);
        value = QString::number(v);
    }
    if (!ok && column != 1 && QRegularExpression(QStringLiteral("^[0-9]+$")).match(text).hasMatch()) {
        // whole digits only, too many of them for an integer column
        Dialogs::error(QStringLiteral("%1: не больше %2.").arg(QString::fromUtf8(kColumns[column].title), QStringLiteral("2 147 483 647")));
        return false;
    }
    if (!ok) {
        Dialogs::error(QStringLiteral("«%1» — неверное значение поля «%2».").arg(typed, QString::fromUtf8(kColumns[column].title)));
        return false;
    }
    // A failure shown here keeps the view editable (see storeValue).
    try {
        return storeValue(row, column, number, value);
    } catch (const DbError &e) {
        Dialogs::error(e.text());
        return false;
    }
}

bool TForm22::storeValue(int row, int column, double number, const QString &value)
{
    const bool isNew = row == m_norms->storedCount();
    const QString name = QString::fromLatin1(kColumns[column].field);
    if (!isNew) {
        const QVariant old = m_norms->value(row, column);
        if (!old.isNull() && old.toString().toDouble() == number)
            return true; // unchanged: nothing to store
    }
    // A value the server refuses (another workstation's change, a price that
    // rounds past the column) is shown by the call and the cell keeps its old
    // value: an exception let through the view's editing would leave the view
    // stuck committing, and every later edit would be dropped.
    const QString conn = f.DataModule6->connectionName();
    int id = 0;
    if (isNew) {
        QVariantList added;
        if (!CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.norm_add(?::integer, ?, ?::numeric)"),
                                  {operId, name, value}, &added))
            return false;
        id = added.value(0).toInt();
    } else if (!CatalogueWrite::call(conn, QStringLiteral("select accounts_dep.norm_change(?::integer, ?, ?::numeric)"),
                                     {m_norms->idAt(row), name, value})) {
        return false;
    }
    // Read again: the row moves to its place by norma, the cursor with it.
    norm->close();
    norm->setParam(QStringLiteral("o_id"), operId);
    norm->open();
    m_norms->update(*norm, isNew ? id : 0);
    return true;
}

void TForm22::deleteNorm(int row)
{
    // The database keeps the last norm of an operation, too.
    if (row >= 0 && row < m_norms->storedCount() && m_norms->storedCount() > 1)
        CatalogueWrite::call(f.DataModule6->connectionName(), QStringLiteral("select accounts_dep.norm_delete(?::integer)"),
                             {m_norms->idAt(row)});
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
