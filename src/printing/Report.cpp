#include "Report.h"

#include "db/Dataset.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <algorithm>
#include <functional>
#include <map>

namespace Printing {

Element label(double x, double width, const QString &text, Qt::Alignment align, bool bold)
{
    Element e;
    e.kind = Element::Label;
    e.text = text;
    e.x = x;
    e.width = width;
    e.align = align;
    e.bold = bold;
    return e;
}

Element field(double x, double width, const QString &expression, const QString &mask, Qt::Alignment align, bool bold)
{
    Element e = label(x, width, expression, align, bold);
    e.kind = Element::Expr;
    e.mask = mask;
    return e;
}

Element *Layout::element(const QString &name)
{
    for (Band *b : {&titleBand, &reportHeader, &child, &columnHeader, &detail, &reportFooter, &pageFooter})
        for (Element &e : b->elements)
            if (e.name == name)
                return &e;
    for (Group &g : groups)
        for (Band *b : {&g.header, &g.footer})
            for (Element &e : b->elements)
                if (e.name == name)
                    return &e;
    return nullptr;
}

void Layout::setText(const QString &name, const QString &text)
{
    if (Element *e = element(name))
        e->text = text;
}

QString Layout::text(const QString &name)
{
    const Element *e = element(name);
    return e ? e->text : QString();
}

QString Page::plainText() const
{
    QVector<const TextItem *> items;
    for (const TextItem &t : texts)
        items << &t;
    std::stable_sort(items.begin(), items.end(), [](const TextItem *a, const TextItem *b) {
        if (qAbs(a->rect.top() - b->rect.top()) > 0.01)
            return a->rect.top() < b->rect.top();
        return a->rect.left() < b->rect.left();
    });
    QString out;
    double row = -1;
    for (const TextItem *t : items) {
        if (t->text.isEmpty())
            continue;
        if (row >= 0 && qAbs(t->rect.top() - row) <= 0.01)
            out += QLatin1Char('\t');
        else if (row >= 0)
            out += QLatin1Char('\n');
        row = t->rect.top();
        out += t->text;
    }
    return out;
}

namespace {

// Text is measured on a fixed 1200 dpi surface, so that what fits does not
// depend on the screen the report is prepared on.
constexpr double MeasureDpi = 1200;
constexpr double Padding = 0.7; // mm inside an element on either side

QFont reportFont(double points, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

const QImage &measureSurface()
{
    static QImage img = [] {
        QImage i(1, 1, QImage::Format_Mono);
        i.setDotsPerMeterX(qRound(MeasureDpi / 0.0254));
        i.setDotsPerMeterY(qRound(MeasureDpi / 0.0254));
        return i;
    }();
    return img;
}

struct Metrics {
    explicit Metrics(double points)
        : regular(reportFont(points, false), &measureSurface()), bold(reportFont(points, true), &measureSurface()) {}
    QFontMetricsF regular, bold;
    const QFontMetricsF &of(bool b) const { return b ? bold : regular; }
};

constexpr double mmPerPx = 25.4 / MeasureDpi;

// One band ready to print: its expressions parsed, a running sum per sum(...)
struct Compiled {
    const Band *band = nullptr;
    QVector<Expression> exprs;       // per element (empty for labels)
    QVector<QVector<Decimal>> sums;  // per element, per sum(...)
    bool hasSums = false;

    explicit Compiled(const Band &b) : band(&b)
    {
        for (const Element &e : b.elements) {
            exprs << (e.kind == Element::Expr ? Expression(e.text) : Expression());
            sums << QVector<Decimal>(exprs.last().sumCount());
            hasSums = hasSums || exprs.last().sumCount() > 0;
        }
    }
    void add(const Expression::Context &c)
    {
        for (int i = 0; i < exprs.size(); ++i)
            for (int s = 0; s < sums[i].size(); ++s)
                sums[i][s] += exprs[i].sumArgument(s, c);
    }
    void reset()
    {
        for (auto &v : sums)
            std::fill(v.begin(), v.end(), Decimal());
    }
};

class Pager {
public:
    Pager(const Layout &l, Document &doc) : l_(l), doc_(doc), metrics_(l.fontSize)
    {
        const double w = l.orientation == QPageLayout::Landscape ? 297 : 210;
        const double h = l.orientation == QPageLayout::Landscape ? 210 : 297;
        doc.size = QSizeF(w, h);
        doc.orientation = l.orientation;
        doc.fontSize = l.fontSize;
        doc.title = l.title;
        limit_ = h - l.margin - l.pageFooter.height;
    }

    void setHeading(Compiled *heading) { heading_ = heading; }
    // Bands printed at the top of each following page, under the heading
    std::function<QVector<Compiled *>()> continued;

    // Prints `b`; when it (with `keepWith` mm of what must follow it) does
    // not fit, the page is closed and a new one started first.
    void place(Compiled &b, const Expression::Context &c, double keepWith = 0)
    {
        const double h = b.band->height;
        if (h <= 0)
            return;
        if (doc_.pages.isEmpty())
            newPage(c);
        else if (y_ + h + keepWith > limit_ + 1e-9 && y_ > firstY_ + 1e-9) {
            finishPage(c);
            newPage(c);
        }
        draw(b, c, y_);
        y_ += h;
    }

    void start(const Expression::Context &c) { newPage(c); }
    void finish(Compiled *footer, const Expression::Context &c)
    {
        footer_ = footer;
        if (doc_.pages.isEmpty())
            newPage(c);
        finishPage(c);
    }
    void setFooter(Compiled *footer) { footer_ = footer; }

private:
    void newPage(const Expression::Context &c)
    {
        doc_.pages.push_back(Page());
        y_ = l_.margin;
        if (heading_ && doc_.pages.size() > 1) {
            draw(*heading_, c, y_);
            y_ += heading_->band->height;
        }
        firstY_ = y_;
        if (continued && doc_.pages.size() > 1)
            for (Compiled *b : continued()) {
                draw(*b, c, y_);
                y_ += b->band->height;
            }
    }
    void finishPage(const Expression::Context &c)
    {
        if (!footer_ || footer_->band->height <= 0)
            return;
        Expression::Context pc = c;
        pc.page = doc_.pages.size();
        draw(*footer_, pc, doc_.size.height() - l_.margin - footer_->band->height);
    }

    void draw(const Compiled &b, const Expression::Context &c, double y)
    {
        Page &page = doc_.pages.last();
        const Band &band = *b.band;
        const double left = l_.margin, right = doc_.size.width() - l_.margin;
        const double h = band.height;
        if (band.lineAbove || band.framed)
            page.lines << QLineF(left, y, right, y);
        if (band.lineBelow || band.framed)
            page.lines << QLineF(left, y + h, right, y + h);
        if (band.framed)
            page.lines << QLineF(left, y, left, y + h) << QLineF(right, y, right, y + h);

        Expression::Context ec = c;
        ec.page = doc_.pages.size();
        for (int i = 0; i < band.elements.size(); ++i) {
            const Element &e = band.elements[i];
            const double x = left + e.x;
            if (e.frameLeft)
                page.lines << QLineF(x, y, x, y + h);
            if (e.frameRight)
                page.lines << QLineF(x + e.width, y, x + e.width, y + h);
            QString text;
            if (e.kind == Element::Label) {
                text = e.text;
            } else {
                ec.sums = &b.sums[i];
                text = b.exprs[i].eval(ec).format(e.mask);
            }
            // fixed-width database texts arrive padded with blanks that mean nothing
            int end = text.size();
            while (end > 0 && text.at(end - 1).isSpace())
                --end;
            text.truncate(end);
            if (text.isEmpty())
                continue;
            TextItem t;
            t.bold = e.bold || band.bold;
            t.align = e.align;
            t.rect = QRectF(x + Padding, y, qMax(0.0, e.width - 2 * Padding), h);
            const QFontMetricsF &fm = metrics_.of(t.bold);
            const double avail = t.rect.width() / mmPerPx;
            t.text = fm.horizontalAdvance(text) <= avail ? text : fm.elidedText(text, Qt::ElideRight, avail);
            page.texts << t;
        }
    }

    const Layout &l_;
    Document &doc_;
    Metrics metrics_;
    Compiled *heading_ = nullptr;
    Compiled *footer_ = nullptr;
    double y_ = 0, firstY_ = 0, limit_ = 0;
};

} // namespace

double textWidth(const QString &text, double points, bool bold)
{
    return QFontMetricsF(reportFont(points, bold), &measureSurface()).horizontalAdvance(text) * mmPerPx;
}

Document layOut(const Layout &l, const Dataset &data)
{
    Document doc;
    Compiled title(l.titleBand), header(l.reportHeader), child(l.child), heading(l.columnHeader),
        detail(l.detail), footer(l.reportFooter), pageFooter(l.pageFooter);
    QVector<Compiled> groupHeaders, groupFooters;
    QVector<Expression> groupExprs;
    for (const Group &g : l.groups) {
        groupHeaders << Compiled(g.header);
        groupFooters << Compiled(g.footer);
        groupExprs << Expression(g.expression);
    }

    // Field lookup on one row, by name without regard to case
    // and the kind each is read as: the layout's word, else the column's type
    struct Column {
        int index;
        Value::Kind kind;
    };
    std::map<QString, Value::Kind> given;
    for (auto it = l.kinds.constBegin(); it != l.kinds.constEnd(); ++it)
        given.emplace(it.key().toLower(), it.value());
    std::map<QString, Column> columns;
    for (int i = 0; i < data.fieldCount(); ++i) {
        const QString name = data.fieldName(i).toLower();
        const auto g = given.find(name);
        const Value::Kind kind = g != given.end() ? g->second
                                 : Value::isNumberType(data.fieldType(i)) ? Value::Number
                                                                           : Value::Text;
        columns.emplace(name, Column{i, kind});
    }
    int row = -1;
    Expression::Context ctx;
    ctx.field = [&](const QString &name) -> Value {
        if (row < 0)
            return Value();
        const auto it = columns.find(name.toLower());
        return it == columns.end() ? Value() : Value::read(data.valueAt(row, it->second.index), it->second.kind);
    };

    Pager pager(l, doc);
    pager.setHeading(&heading);
    pager.setFooter(&pageFooter);
    pager.start(ctx);
    for (Compiled *b : {&title, &header, &child, &heading})
        pager.place(*b, ctx);

    // Every band's running sums take each row; group footers restart theirs.
    QVector<Compiled *> summing;
    for (Compiled *b : {&title, &header, &child, &heading, &detail, &footer})
        if (b->hasSums)
            summing << b;
    for (int g = 0; g < groupHeaders.size(); ++g) {
        if (groupHeaders[g].hasSums)
            summing << &groupHeaders[g];
        if (groupFooters[g].hasSums)
            summing << &groupFooters[g];
    }

    QVector<bool> open(groupHeaders.size(), false);
    pager.continued = [&] {
        QVector<Compiled *> bands;
        for (int g = 0; g < groupHeaders.size(); ++g)
            if (open[g] && l.groups[g].repeatHeader)
                bands << &groupHeaders[g];
        return bands;
    };
    auto closeGroups = [&](int from) {
        for (int g = groupFooters.size() - 1; g >= from; --g) {
            pager.place(groupFooters[g], ctx);
            groupFooters[g].reset();
            open[g] = false;
        }
    };
    const int rows = data.recordCount();
    // groups break on the stored values: "01" and "1" are two groups
    QVector<Value> current;
    for (int r = 0; r < rows; ++r) {
        row = r;
        QVector<Value> values;
        for (const Expression &e : groupExprs)
            values << e.eval(ctx);
        int changed = r == 0 ? 0 : int(groupExprs.size());
        for (int g = 0; r > 0 && g < values.size(); ++g)
            if (!values[g].sameAs(current[g])) {
                changed = g;
                break;
            }
        if (r > 0 && changed < values.size()) {
            row = r - 1; // footers show the group's last row
            closeGroups(changed);
            row = r;
        }
        for (int g = changed; g < groupHeaders.size(); ++g) {
            // a header stays with the first row under it
            double keep = l.detail.height;
            for (int h = g + 1; h < groupHeaders.size(); ++h)
                keep += groupHeaders[h].band->height;
            pager.place(groupHeaders[g], ctx, keep);
            open[g] = true;
        }
        current = values;
        for (Compiled *b : summing)
            b->add(ctx);
        pager.place(detail, ctx);
    }
    if (rows > 0) {
        row = rows - 1;
        closeGroups(0);
    }
    pager.place(footer, ctx);
    pager.finish(&pageFooter, ctx);
    return doc;
}

} // namespace Printing
