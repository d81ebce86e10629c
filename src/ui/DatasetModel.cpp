#include "DatasetModel.h"

#include "db/Dataset.h"
#include "db/DecimalText.h"

#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QTableView>

DatasetModel::DatasetModel(Dataset *ds, QVector<ColumnDef> columns, QObject *parent)
    : QAbstractTableModel(parent), m_allCols(std::move(columns))
{
    for (const ColumnDef &c : m_allCols)
        if (c.visible)
            m_cols << c;
    setDataset(ds);
}

void DatasetModel::setDataset(Dataset *ds)
{
    beginResetModel();
    for (const auto &c : m_conns)
        disconnect(c);
    m_conns.clear();
    m_ds = ds;
    if (m_ds)
        m_conns << connect(m_ds, &Dataset::reset, this, &DatasetModel::onReset);
    endResetModel();
}

void DatasetModel::onReset()
{
    beginResetModel();
    endResetModel();
}

int DatasetModel::columnOf(const QString &field) const
{
    for (int i = 0; i < m_cols.size(); ++i)
        if (m_cols.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int DatasetModel::allIndexOf(const QString &field) const
{
    for (int i = 0; i < m_allCols.size(); ++i)
        if (m_allCols.at(i).field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const ColumnDef *DatasetModel::column(const QString &field) const
{
    const int i = allIndexOf(field);
    return i < 0 ? nullptr : &m_allCols.at(i);
}

bool DatasetModel::isColumnVisible(const QString &field) const
{
    const ColumnDef *c = column(field);
    return c && c->visible;
}

void DatasetModel::setColumnVisible(const QString &field, bool visible)
{
    const int a = allIndexOf(field);
    if (a < 0 || m_allCols.at(a).visible == visible)
        return;
    // its place among the shown columns: the shown columns before it
    int pos = 0;
    for (int i = 0; i < a; ++i)
        if (m_allCols.at(i).visible)
            ++pos;
    if (visible) {
        beginInsertColumns(QModelIndex(), pos, pos);
        m_allCols[a].visible = true;
        m_cols.insert(pos, m_allCols.at(a));
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), pos, pos);
        m_allCols[a].visible = false;
        m_cols.remove(pos);
        endRemoveColumns();
    }
}

void DatasetModel::setColumnColors(const QString &field, std::optional<QColor> text, std::optional<QColor> title)
{
    const int a = allIndexOf(field);
    if (a < 0)
        return;
    m_allCols[a].foreground = text;
    m_allCols[a].titleForeground = title;
    const int pos = columnOf(field);
    if (pos < 0)
        return;
    m_cols[pos].foreground = text;
    m_cols[pos].titleForeground = title;
    emit headerDataChanged(Qt::Horizontal, pos, pos);
    if (rowCount() > 0)
        emit dataChanged(index(0, pos), index(rowCount() - 1, pos),
                         {Qt::ForegroundRole, Qt::BackgroundRole, Qt::FontRole});
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    return (parent.isValid() || !m_ds) ? 0 : m_ds->recordCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_cols.size();
}

// Numbers in grids: the user's decimal separator, no thousands separator.
static QLocale gridLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

// Exact decimal text rounded as text, with the user's decimal separator
static QString roundDecimalText(const QString &text, int places)
{
    QString t = DecimalText::round(text, places);
    return t.replace(QLatin1Char('.'), gridLocale().decimalPoint());
}

QString DatasetModel::numberText(const QVariant &v, int decimals)
{
    if (v.isNull() || !v.isValid())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        if (decimals >= 0)
            return gridLocale().toString(v.toDouble(), 'f', decimals);
        return gridLocale().toString(v.toDouble(), 'g', 15);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return roundDecimalText(QString::number(v.toLongLong()), decimals);
    default: {
        const QString t = roundDecimalText(v.toString(), decimals);
        if (!t.isEmpty())
            return t;
        bool ok = false; // a floating column's text in exponent form ("1e-05")
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok ? numberText(d, decimals) : QString();
    }
    }
}

static bool isNumberType(QMetaType t)
{
    switch (t.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

QString DatasetModel::displayText(const QVariant &v, const ColumnDef &c, QMetaType declared) const
{
    if (v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.time() == QTime(0, 0))
            return dt.date().toString(QStringLiteral("dd.MM.yyyy"));
        return dt.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    }
    default:
        break;
    }
    // A column is numeric by its declared type, or by the grid's decimals;
    // a text column shows its text as stored ("0105" stays "0105").
    const bool number = c.decimals >= 0 || isNumberType(declared.isValid() ? declared : v.metaType());
    if (number) {
        const QString n = numberText(v, c.decimals);
        if (!n.isEmpty())
            return n;
    }
    const QString s = v.toString();
    return s.trimmed() == s ? s : s.trimmed();
}

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!m_ds || !index.isValid() || index.column() >= m_cols.size())
        return QVariant();
    const ColumnDef &c = m_cols.at(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return displayText(m_ds->valueAt(index.row(), c.field), c, m_ds->fieldType(c.field));
    case Qt::EditRole:
        return m_ds->valueAt(index.row(), c.field);
    case Qt::TextAlignmentRole:
        return int(c.align);
    case Qt::FontRole:
    case Qt::ForegroundRole:
    case Qt::BackgroundRole: {
        // the column's look, then the cell's own rule over it
        CellStyle st{c.bold, c.foreground, c.background};
        if (m_style) {
            const CellStyle cell = m_style(*m_ds, index.row(), c.field);
            st.bold = st.bold || cell.bold;
            if (cell.foreground)
                st.foreground = cell.foreground;
            if (cell.background)
                st.background = cell.background;
        }
        if (role == Qt::FontRole) {
            if (!st.bold)
                return QVariant();
            QFont f;
            f.setBold(true);
            return f;
        }
        if (role == Qt::ForegroundRole && st.foreground)
            return *st.foreground;
        if (role == Qt::BackgroundRole && st.background)
            return *st.background;
        return QVariant();
    }
    default:
        return QVariant();
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || section < 0 || section >= m_cols.size())
        return QAbstractTableModel::headerData(section, o, role);
    const ColumnDef &c = m_cols.at(section);
    if (role == Qt::ForegroundRole && c.titleForeground)
        return *c.titleForeground;
    return gridTitle(c.title, role);
}

QVariant gridTitle(const QString &title, int role)
{
    if (role == Qt::DisplayRole)
        return title;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role == Qt::FontRole) {
        QFont f;
        f.setBold(true);
        return f;
    }
    return QVariant();
}

void bindGrid(QTableView *view, DatasetModel *model)
{
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionsMovable(false);
    view->horizontalHeader()->setHighlightSections(false);
    view->setAlternatingRowColors(false);

    auto syncToView = [view, model]() {
        Dataset *ds = model->dataset();
        if (!ds || ds->recNo() < 1) {
            view->selectionModel()->clearSelection();
            return;
        }
        const QModelIndex idx = model->index(ds->recNo() - 1, 0);
        if (view->selectionModel()->currentIndex().row() != idx.row())
            view->selectionModel()->setCurrentIndex(
                idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(idx);
    };
    auto applyWidths = [view, model]() {
        for (int i = 0; i < model->columns().size(); ++i) {
            const int w = model->columns().at(i).width;
            if (w > 0)
                view->setColumnWidth(i, w);
        }
    };
    applyWidths();
    // a column switched on gets its width back
    QObject::connect(model, &QAbstractItemModel::columnsInserted, view, applyWidths);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, [syncToView]() { syncToView(); });
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [model](const QModelIndex &cur) {
                         if (model->dataset() && cur.isValid() && model->dataset()->recNo() != cur.row() + 1)
                             model->dataset()->setRecNo(cur.row() + 1);
                     });
    // Follow cursor moves made by code (locate, setRecNo); rebinding reconnects.
    auto conn = std::make_shared<QMetaObject::Connection>();
    auto follow = [view, model, conn, syncToView]() {
        QObject::disconnect(*conn);
        if (model->dataset())
            *conn = QObject::connect(model->dataset(), &Dataset::currentChanged, view, [syncToView]() { syncToView(); });
    };
    follow();
    QObject::connect(model, &QAbstractItemModel::modelReset, view, follow);
    syncToView();
}
