#pragma once
#include <QAbstractTableModel>
#include <QColor>
#include <QPointer>
#include <QVector>
#include <functional>
#include <optional>

class Dataset;
class QTableView;

// One grid column bound to a dataset field.
struct ColumnDef {
    QString field;
    QString title;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool visible = true;
    int width = 0;          // 0: fit to contents
    int decimals = -1;      // >= 0: shown with this many decimal places
    // The column's own look; a cell style overrides it cell by cell.
    bool bold = false;
    std::optional<QColor> foreground = std::nullopt;
    std::optional<QColor> background = std::nullopt;
    std::optional<QColor> titleForeground = std::nullopt; // the title's text colour
};

// How one cell is drawn (the grids' cell-drawing rules).
struct CellStyle {
    bool bold = false;
    std::optional<QColor> foreground;
    std::optional<QColor> background;
};

// A read-only table model over a Dataset; only visible columns are columns.
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using StyleFn = std::function<CellStyle(const Dataset &, int row, const QString &field)>;

    DatasetModel(Dataset *ds, QVector<ColumnDef> columns, QObject *parent = nullptr);

    void setDataset(Dataset *ds); // rebinding (a journal switching shifts)
    Dataset *dataset() const { return m_ds; }
    void setStyle(StyleFn fn) { m_style = std::move(fn); }
    const QVector<ColumnDef> &columns() const { return m_cols; }
    int columnOf(const QString &field) const; // -1 if not a visible column
    const ColumnDef *column(const QString &field) const; // any column, shown or not; null if unknown

    // Switches a column on or off; the other columns keep their places and widths.
    void setColumnVisible(const QString &field, bool visible);
    bool isColumnVisible(const QString &field) const;
    // The colours of a column's text and of its title (nullopt: the default).
    void setColumnColors(const QString &field, std::optional<QColor> text, std::optional<QColor> title);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

    // Text shown for a value of a field: dates day first; numbers (a numeric
    // column, or a column with decimals set) with the user's decimal
    // separator, rounded to the column's decimals or else in their shortest
    // form; texts as stored, however much they look like numbers. `declared`
    // is the column type the query reports (invalid: the value's own type).
    QString displayText(const QVariant &v, const ColumnDef &c, QMetaType declared = QMetaType()) const;

    // A number's text in grids and the totals beside them: the user's decimal
    // separator, no thousands separator; `decimals` < 0 gives the shortest
    // form (147.6000 as 147,6). Exact decimal text is rounded as text, half
    // away from zero, so no binary fraction creeps in. Empty if no number.
    static QString numberText(const QVariant &v, int decimals);

private:
    void onReset();
    int allIndexOf(const QString &field) const;
    Dataset *m_ds = nullptr;
    QVector<ColumnDef> m_allCols;
    QVector<ColumnDef> m_cols;
    StyleFn m_style;
    QVector<QMetaObject::Connection> m_conns;
};

// A column title cell of a grid for `role`: bold and centred.
QVariant gridTitle(const QString &title, int role);

// Wires a view to a model: whole-row selection follows the dataset's current
// record and back, bold centred titles, read-only.
void bindGrid(QTableView *view, DatasetModel *model);
