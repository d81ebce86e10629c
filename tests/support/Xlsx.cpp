#include "Xlsx.h"

#include <QList>
#include <QPair>
#include <QProcess>
#include <QStringList>
#include <QXmlStreamReader>

namespace Xlsx {

QByteArray part(const QString &xlsx, const QString &name)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, name});
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

Sheet read(const QString &xlsx, int sheet)
{
    Sheet out;
    const QByteArray sheetXml = part(xlsx, QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet));
    if (sheetXml.isEmpty())
        return out;
    out.ok = true;

    QStringList strings;
    QXmlStreamReader ss(part(xlsx, QStringLiteral("xl/sharedStrings.xml")));
    while (!ss.atEnd())
        if (ss.readNext() == QXmlStreamReader::StartElement && ss.name() == QLatin1String("t"))
            strings << ss.readElementText();

    // cellXfs: index -> (numFmtId, fontId); fonts: index -> bold
    QList<QPair<int, int>> xfs;
    QList<bool> boldFonts;
    QList<int> textFormats{49}; // the built-in "@" and any custom one
    QMap<int, QString> formatCodes{{1, "0"}, {2, "0.00"}, {3, "#,##0"}, {4, "#,##0.00"}, {49, "@"}};
    QXmlStreamReader st(part(xlsx, QStringLiteral("xl/styles.xml")));
    bool inXfs = false, inFonts = false;
    while (!st.atEnd()) {
        const auto t = st.readNext();
        if (t == QXmlStreamReader::StartElement) {
            const auto a = st.attributes();
            if (st.name() == QLatin1String("numFmt")) {
                formatCodes[a.value("numFmtId").toInt()] = a.value("formatCode").toString();
                if (a.value("formatCode") == QLatin1String("@"))
                    textFormats << a.value("numFmtId").toInt();
            }
            else if (st.name() == QLatin1String("cellXfs"))
                inXfs = true;
            else if (st.name() == QLatin1String("fonts"))
                inFonts = true;
            else if (inXfs && st.name() == QLatin1String("xf"))
                xfs << qMakePair(a.value("numFmtId").toInt(), a.value("fontId").toInt());
            else if (inFonts && st.name() == QLatin1String("font"))
                boldFonts << false;
            else if (inFonts && st.name() == QLatin1String("b") && !boldFonts.isEmpty())
                boldFonts.last() = true;
        } else if (t == QXmlStreamReader::EndElement) {
            if (st.name() == QLatin1String("cellXfs"))
                inXfs = false;
            else if (st.name() == QLatin1String("fonts"))
                inFonts = false;
        }
    }

    QXmlStreamReader ws(sheetXml);
    QString ref;
    while (!ws.atEnd()) {
        if (ws.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = ws.attributes();
        if (ws.name() == QLatin1String("col")) {
            for (int c = a.value("min").toInt(); c <= a.value("max").toInt(); ++c)
                out.widths[c] = a.value("width").toDouble();
        } else if (ws.name() == QLatin1String("c")) {
            ref = a.value("r").toString();
            Cell cell;
            cell.type = a.hasAttribute("t") ? a.value("t").toString() : QStringLiteral("n");
            const int xf = a.value("s").toInt();
            if (xf < xfs.size()) {
                cell.textFormat = textFormats.contains(xfs.at(xf).first);
                cell.format = formatCodes.value(xfs.at(xf).first);
                cell.bold = boldFonts.value(xfs.at(xf).second);
            }
            out.cells[ref] = cell;
        } else if (ws.name() == QLatin1String("v")) {
            const QString v = ws.readElementText();
            Cell &cell = out.cells[ref];
            cell.value = cell.type == QLatin1String("s") ? strings.value(v.toInt()) : v;
        }
    }
    return out;
}

} // namespace Xlsx
