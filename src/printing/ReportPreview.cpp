#include "ReportPreview.h"

#include "Painting.h"
#include "ui/Dialogs.h"

#include "spreadsheet/Excel.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsView>
#include <QLabel>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QToolBar>
#include <QVBoxLayout>

namespace Printing {

ReportPreview::ReportPreview(const Document &doc, QWidget *parent)
    : QDialog(parent), doc_(doc), printer_(new QPrinter(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(doc.title.isEmpty() ? QStringLiteral("Предварительный просмотр") : doc.title);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    printer_->setFullPage(true);
    printer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), doc.orientation, QMarginsF(0, 0, 0, 0)));
    printer_->setDocName(doc.title);

    view_ = new QPrintPreviewWidget(printer_, this);
    view_->setObjectName(QStringLiteral("PreviewView"));
    // Fitting to the width or to the page scales by the visible area, and a
    // scroll bar that comes or goes changes that area: at some window sizes
    // the bar the new scale needs is the one that undoes it, and the preview
    // would lay itself out for ever. With both bars always there the area
    // depends on the window alone.
    if (auto *area = view_->findChild<QGraphicsView *>()) {
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    connect(view_, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter *p) { paint(doc_, p); });
    connect(view_, &QPrintPreviewWidget::previewChanged, this, &ReportPreview::updatePage);

    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("PreviewToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto add = [&](const char *name, const QString &text, const QKeySequence &key, auto slot) {
        QAction *a = bar->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    printAction = add("PrintAction", QStringLiteral("Печать..."), QKeySequence::Print, [this] { print(); });
    pdfAction = add("PdfAction", QStringLiteral("Сохранить в PDF..."), QKeySequence::Save, [this] { savePdf(); });
    bar->addSeparator();
    add("FirstPageAction", QStringLiteral("|<"), QKeySequence(Qt::Key_Home), [this] { view_->setCurrentPage(1); updatePage(); });
    add("PrevPageAction", QStringLiteral("<"), QKeySequence(Qt::Key_PageUp),
        [this] { view_->setCurrentPage(view_->currentPage() - 1); updatePage(); });
    pageLabel_ = new QLabel(bar);
    pageLabel_->setObjectName(QStringLiteral("PageLabel"));
    pageLabel_->setMinimumWidth(90);
    pageLabel_->setAlignment(Qt::AlignCenter);
    bar->addWidget(pageLabel_);
    add("NextPageAction", QStringLiteral(">"), QKeySequence(Qt::Key_PageDown),
        [this] { view_->setCurrentPage(view_->currentPage() + 1); updatePage(); });
    add("LastPageAction", QStringLiteral(">|"), QKeySequence(Qt::Key_End),
        [this] { view_->setCurrentPage(view_->pageCount()); updatePage(); });
    bar->addSeparator();
    add("ZoomInAction", QStringLiteral("Крупнее"), QKeySequence::ZoomIn, [this] { view_->zoomIn(); });
    add("ZoomOutAction", QStringLiteral("Мельче"), QKeySequence::ZoomOut, [this] { view_->zoomOut(); });
    add("FitWidthAction", QStringLiteral("По ширине"), QKeySequence(), [this] { view_->fitToWidth(); });
    add("FitPageAction", QStringLiteral("Страница целиком"), QKeySequence(), [this] { view_->fitInView(); });
    bar->addSeparator();
    add("CloseAction", QStringLiteral("Закрыть"), QKeySequence(), [this] { reject(); });

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(bar);
    lay->addWidget(view_, 1);

    const QSize avail = screen() ? screen()->availableSize() : QSize(1024, 768);
    resize(qMin(avail.width(), doc.orientation == QPageLayout::Landscape ? 1200 : 900), qMin(avail.height(), 900));
    view_->fitToWidth();
}

ReportPreview::~ReportPreview() { delete printer_; }

void ReportPreview::updatePage()
{
    pageLabel_->setText(QStringLiteral("%1 из %2").arg(view_->currentPage()).arg(view_->pageCount()));
}

void ReportPreview::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setDocName(doc_.title);
    printer.setPageLayout(printer_->pageLayout());
    QPrintDialog dlg(&printer, this);
    dlg.setWindowTitle(QStringLiteral("Печать"));
    if (dlg.exec() == QDialog::Accepted)
        paint(doc_, &printer);
}

bool ReportPreview::saveAs(const QString &path)
{
    if (writePdf(doc_, path))
        return true;
    Dialogs::error(QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(path)));
    return false;
}

void ReportPreview::savePdf()
{
    QString name = doc_.title.isEmpty() ? QStringLiteral("Отчет") : doc_.title.trimmed();
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("-"));
    // where the workbooks go as well (TABEL_DOCUMENTS_DIR, else the user's documents)
    const QString dir = Excel::documentsFolder();
    QDir().mkpath(dir);
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить в PDF"), dir + QLatin1Char('/') + name + QStringLiteral(".pdf"),
                                                QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    saveAs(path);
}

void showPreview(const Document &doc)
{
    ReportPreview dlg(doc, Dialogs::messageParent());
    dlg.exec();
}

} // namespace Printing
