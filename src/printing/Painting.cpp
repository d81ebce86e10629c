#include "Painting.h"

#include <QFile>
#include <QFont>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>

namespace Printing {

void paint(const Document &doc, QPagedPaintDevice *device)
{
    device->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), doc.orientation, QMarginsF(0, 0, 0, 0)));
    QPainter p;
    if (!p.begin(device))
        return;
    const double kx = device->logicalDpiX() / 25.4, ky = device->logicalDpiY() / 25.4;
    QFont regular(QStringLiteral("DejaVu Sans"));
    regular.setPointSizeF(doc.fontSize);
    QFont bold = regular;
    bold.setBold(true);
    QPen pen(Qt::black);
    pen.setWidthF(0.25 * kx);
    for (int i = 0; i < doc.pages.size(); ++i) {
        if (i > 0)
            device->newPage();
        const Page &page = doc.pages[i];
        for (const ImageItem &img : page.images) {
            if (img.image.isNull())
                continue;
            const QRectF box(img.rect.x() * kx, img.rect.y() * ky, img.rect.width() * kx, img.rect.height() * ky);
            QSizeF fit = QSizeF(img.image.size()).scaled(box.size(), Qt::KeepAspectRatio);
            const QRectF target(box.x() + (box.width() - fit.width()) / 2, box.y() + (box.height() - fit.height()) / 2,
                                fit.width(), fit.height());
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(target, img.image);
        }
        p.setPen(pen);
        for (const QLineF &l : page.lines)
            p.drawLine(QLineF(l.x1() * kx, l.y1() * ky, l.x2() * kx, l.y2() * ky));
        for (const TextItem &t : page.texts) {
            p.setFont(t.bold ? bold : regular);
            const QRectF r(t.rect.x() * kx, t.rect.y() * ky, t.rect.width() * kx, t.rect.height() * ky);
            // elided once more with the device's own metrics, so that nothing
            // runs into the next column
            const QString text = p.fontMetrics().elidedText(t.text, Qt::ElideRight, int(r.width()));
            p.drawText(r, int(t.align | Qt::AlignVCenter | Qt::TextSingleLine), text);
        }
    }
    p.end();
}

bool writePdf(const Document &doc, const QString &path)
{
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly))
            return false;
    }
    QPdfWriter writer(path);
    writer.setResolution(600);
    writer.setTitle(doc.title);
    writer.setCreator(QStringLiteral("Табель"));
    paint(doc, &writer);
    return QFile(path).size() > 0;
}

} // namespace Printing
