#pragma once
#include "Report.h"

#include <QDialog>

class QAction;
class QLabel;
class QPrintPreviewWidget;
class QPrinter;

namespace Printing {

// The preview window of a laid-out report: page navigation, zoom, printing
// and saving as PDF in its tool bar.
class ReportPreview : public QDialog {
    Q_OBJECT
public:
    explicit ReportPreview(const Document &doc, QWidget *parent = nullptr);
    ~ReportPreview() override;

    QPrintPreviewWidget *view() const { return view_; }
    QAction *printAction = nullptr, *pdfAction = nullptr;

    // Saves the report as PDF under `path`; tells the user when it fails.
    bool saveAs(const QString &path);

private:
    void updatePage();
    void print();
    void savePdf();

    Document doc_;
    QPrinter *printer_;
    QPrintPreviewWidget *view_;
    QLabel *pageLabel_;
};

// Shows the report in a modal preview window (what the dialog seam does
// outside tests).
void showPreview(const Document &doc);

} // namespace Printing
