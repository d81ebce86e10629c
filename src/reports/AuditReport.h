#pragma once
#include <QDialog>

class QDateEdit;
class QPushButton;
class QRadioButton;
class Dataset;
namespace Printing {
struct Document;
struct Layout;
}

// The administrator's report of the changes of a period, grouped by user or
// by entry: preview (print, PDF) and Excel.
class AuditReport : public QDialog {
    Q_OBJECT
public:
    explicit AuditReport(const QString &connection, QWidget *parent = nullptr);
    ~AuditReport() override;

    QDateEdit *FromDate, *ToDate; // the period, both days included
    QRadioButton *ByUser, *ByEntry;
    QPushButton *PreviewButton, *ExcelButton, *CloseButton;

    void read();                    // the period's records, in the chosen order
    Printing::Document document();  // read and laid out
    void showPreview();
    void exportToExcel();

private:
    Printing::Layout layout() const;
    Dataset *m_data;
};
