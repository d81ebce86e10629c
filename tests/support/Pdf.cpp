#include "Pdf.h"

#include "printing/Painting.h"

#include <QProcess>
#include <QTemporaryDir>

namespace Pdf {

QString text(const QString &pdfFile)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfFile,
                                          QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString text(const Printing::Document &doc, const QString &pdfFile)
{
    QTemporaryDir dir;
    const QString path = pdfFile.isEmpty() ? dir.filePath(QStringLiteral("report.pdf")) : pdfFile;
    if (!Printing::writePdf(doc, path))
        return QString();
    return text(path);
}

} // namespace Pdf
