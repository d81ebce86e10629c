#pragma once
#include <QDateTime>
#include <QDialog>
#include <QList>

class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
namespace Printing {
struct Document;
}

// The administrator's report of the changes of a period. On screen a page of
// records at a time, oldest first; preview (print, PDF) and Excel of the
// whole period, by time or grouped by user or by entry. The period is read
// in the order of the trail's index (time, record), page after page, so
// neither a long period nor a large trail makes the server sort.
class AuditReport : public QDialog {
    Q_OBJECT
public:
    explicit AuditReport(const QString &connection, QWidget *parent = nullptr);
    ~AuditReport() override;

    QDateEdit *FromDate, *ToDate; // the period, both days included
    QRadioButton *ByTime, *ByUser, *ByEntry;
    QPushButton *ShowButton, *PrevButton, *NextButton;
    QTableWidget *Grid; // the page shown
    QLabel *PageLabel;
    QPushButton *PreviewButton, *ExcelButton, *CloseButton;

    static constexpr int PageSize = 200;

    // One record as the report shows it.
    struct Row {
        qint64 id = 0;
        QString atKey; // the exact time, for the next page's start
        QString at, who, workstation, action, what, changes;
    };
    // Where a page starts: after this record (none: the period's start).
    struct Cursor {
        QString at;
        qint64 id = -1;
    };
    // Up to `limit` records of the period after `after`, in index order,
    // in the user's words. Throws DbError.
    static QList<Row> readPage(const QString &connection, const QDate &from, const QDate &to, const Cursor &after,
                               int limit);

    void showFirstPage(); // "Показать"
    void showNextPage();
    void showPrevPage();
    QList<Row> readAll() const;    // the whole period, page after page
    Printing::Document document(); // read and laid out
    void showPreview();
    void exportToExcel();

private:
    void showPage(const Cursor &start);
    QList<Row> grouped() const;
    QString m_conn;
    QList<Cursor> m_starts; // of the pages shown so far; the last is the one on screen
    Cursor m_next;          // after the page on screen
    bool m_more = false;
};
