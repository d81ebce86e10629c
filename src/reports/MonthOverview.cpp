#include "MonthOverview.h"

#include "db/ReportConnection.h"
#include "db/DbError.h"
#include "db/TDataModule6.h"
#include "printing/Painting.h"
#include "spreadsheet/Excel.h"
#include "timesheets/MonthGrid.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QFileInfo>
#include <QLocale>
#include <cmath>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

namespace {
using Decimal = Printing::Decimal;

double num(const Decimal &d) { return d.toString().toDouble(); }

// Sums of money on screen as the grids show them (the user's decimal
// separator), on paper as the printed reports' masks do
QString screenPoint() { return QLocale().decimalPoint(); }
const QString PaperPoint = QStringLiteral(".");

// A value axis from 0 to a little above `top`, with whole ticks only: an
// empty chart shows no numbers at all, a small top one tick per unit (nice
// steps of 0.2 would print 0, 0, 0, 1, 1, 1).
QValueAxis *valueAxis(double top, const QString &title)
{
    auto *a = new QValueAxis;
    a->setTitleText(title);
    a->setLabelFormat(QStringLiteral("%.0f"));
    if (!(top > 0)) {
        a->setRange(0, 1);
        a->setTickCount(2);
        a->setLabelsVisible(false);
        return a;
    }
    a->setRange(0, top * 1.1);
    a->applyNiceNumbers();
    if ((a->max() - a->min()) / qMax(1, a->tickCount() - 1) < 1) {
        const int units = qMax(1, int(std::ceil(top * 1.1)));
        a->setRange(0, units);
        a->setTickCount(units + 1);
    }
    return a;
}

QChart *newChart(const QString &title)
{
    auto *c = new QChart;
    c->setTitle(title);
    QFont t = c->titleFont();
    t.setBold(true);
    t.setPointSizeF(11);
    c->setTitleFont(t);
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->setAlignment(Qt::AlignBottom);
    return c;
}

// Output and earnings per day: stacked earnings by shift, pieces on a second axis
QChart *dayChart(const MonthOverviewData &o)
{
    QChart *c = newChart(MonthOverview::chartTitle(0));
    const char *names[] = {"1 смена", "2 смена", "3 смена", "Переработка"};
    auto *bars = new QStackedBarSeries;
    QBarSet *sets[4];
    for (int s = 0; s < 4; ++s) {
        sets[s] = new QBarSet(QString::fromUtf8(names[s]));
        bars->append(sets[s]);
    }
    auto *pieces = new QLineSeries;
    pieces->setName(QStringLiteral("Штук (правая ось)"));
    QPen pen(QColor(200, 30, 30));
    pen.setWidthF(2);
    pieces->setPen(pen);
    QStringList days;
    double topMoney = 0, topPieces = 0;
    const int drawn = o.drawnDays();
    for (int i = 0; i < o.days.size(); ++i) {
        const MonthOverviewData::Day &d = o.days[i];
        for (int s = 0; s < 4; ++s)
            sets[s]->append(num(d.earnings[s]));
        if (i < drawn) // days to come have no output yet, not zero
            pieces->append(i, double(d.pieces));
        topMoney = qMax(topMoney, num(MonthOverviewData::dayEarnings(d)));
        topPieces = qMax(topPieces, double(d.pieces));
        days << QString::number(d.date.day());
    }
    QValueAxis *y = valueAxis(topMoney, QStringLiteral("Заработок, р."));
    // Saturdays and Sundays as grey columns behind the bars: a mark beside the
    // day's number no longer fits under a narrow bar
    auto *weekendTop = new QLineSeries, *weekendBottom = new QLineSeries;
    for (int i = 0; i < o.days.size(); ++i) {
        const double h = o.days[i].weekend() ? y->max() : 0;
        weekendTop->append(i - 0.5, h);
        weekendTop->append(i + 0.5, h);
        weekendBottom->append(i - 0.5, 0);
        weekendBottom->append(i + 0.5, 0);
    }
    auto *weekends = new QAreaSeries(weekendTop, weekendBottom);
    // the area only points at its bounds: they go with it, not with the chart
    weekendTop->setParent(weekends);
    weekendBottom->setParent(weekends);
    weekends->setName(QStringLiteral("Суббота, воскресенье"));
    weekends->setColor(QColor(225, 225, 225));
    weekends->setBorderColor(QColor(225, 225, 225));
    c->addSeries(weekends);
    c->addSeries(bars);
    c->addSeries(pieces);
    auto *x = new QBarCategoryAxis;
    x->append(days);
    x->setTitleText(QStringLiteral("День месяца"));
    c->addAxis(x, Qt::AlignBottom);
    weekends->attachAxis(x);
    bars->attachAxis(x);
    pieces->attachAxis(x);
    c->addAxis(y, Qt::AlignLeft);
    weekends->attachAxis(y);
    bars->attachAxis(y);
    QValueAxis *y2 = valueAxis(topPieces, QStringLiteral("Штук"));
    c->addAxis(y2, Qt::AlignRight);
    pieces->attachAxis(y2);
    return c;
}

// Earnings per hour: the best at the top. Each worker's rate is written
// beside the name, with two decimals as every sum of money (a bar's own
// label would drop a trailing zero: 89.2).
QChart *rateChart(const MonthOverviewData &o, const QString &point)
{
    QChart *c = newChart(MonthOverview::chartTitle(1));
    const QVector<MonthOverviewData::WorkerRate> shown = o.topAndBottom();
    auto *set = new QBarSet(QStringLiteral("р. в час"));
    set->setLabelColor(Qt::black);
    QStringList names;
    QSet<QString> used;
    double top = 0;
    for (int i = shown.size() - 1; i >= 0; --i) {
        const MonthOverviewData::WorkerRate &w = shown[i];
        QString name = w.name;
        if (used.contains(name)) // categories must differ
            name += QStringLiteral(" (№ %1)").arg(w.worker);
        used.insert(name);
        names << name + QStringLiteral(": ") + MonthOverviewData::money(w.perHour, point) + QStringLiteral(" р.");
        set->append(num(w.perHour));
        top = qMax(top, num(w.perHour));
    }
    auto *bars = new QHorizontalBarSeries;
    bars->append(set);
    c->addSeries(bars);
    auto *y = new QBarCategoryAxis;
    y->append(names);
    c->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(y);
    QValueAxis *x = valueAxis(top, QStringLiteral("Заработок в час, р."));
    c->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    c->legend()->hide();
    return c;
}

// Timesheet hours against the entries' hours, differing days marked
QChart *hoursChart(const MonthOverviewData &o)
{
    QChart *c = newChart(MonthOverview::chartTitle(2));
    auto *sheet = new QLineSeries;
    sheet->setName(QStringLiteral("По табелю"));
    auto *entries = new QLineSeries;
    entries->setName(QStringLiteral("По записям журнала"));
    auto *marks = new QScatterSeries;
    marks->setName(QStringLiteral("Расхождение"));
    marks->setColor(QColor(220, 0, 0));
    marks->setMarkerSize(11);
    double top = 0;
    const int drawn = o.drawnDays();
    for (const MonthOverviewData::Day &d : o.days) {
        if (d.date.day() <= drawn) { // no line through the days to come
            sheet->append(d.date.day(), double(d.sheetHours));
            entries->append(d.date.day(), double(d.entryHours));
        }
        top = qMax(top, double(qMax(d.sheetHours, d.entryHours)));
        if (d.hoursDiffer())
            marks->append(d.date.day(), double(qMax(d.sheetHours, d.entryHours)));
    }
    // a difference of single worker-days can cancel out in the day's sum: mark those days too
    for (const MonthOverviewData::Mismatch &m : o.mismatches) {
        const MonthOverviewData::Day &d = o.days.value(m.date.day() - 1);
        if (!d.hoursDiffer() && d.date == m.date && (marks->count() == 0 || marks->at(marks->count() - 1).x() != d.date.day()))
            marks->append(d.date.day(), double(d.entryHours));
    }
    QPen pen = entries->pen();
    pen.setStyle(Qt::DashLine);
    pen.setWidthF(2);
    entries->setPen(pen);
    c->addSeries(sheet);
    c->addSeries(entries);
    c->addSeries(marks);
    auto *x = new QValueAxis;
    x->setRange(1, qMax(1, int(o.days.size())));
    x->setTickCount(qMax(2, int(o.days.size())));
    x->setLabelFormat(QStringLiteral("%d"));
    x->setTitleText(QStringLiteral("День месяца"));
    c->addAxis(x, Qt::AlignBottom);
    QValueAxis *y = valueAxis(top, QStringLiteral("Часов"));
    c->addAxis(y, Qt::AlignLeft);
    for (QXYSeries *s : {static_cast<QXYSeries *>(sheet), static_cast<QXYSeries *>(entries), static_cast<QXYSeries *>(marks)}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    return c;
}

struct Measure {
    QString name;
    Decimal before, now;
};

QVector<Measure> measures(const MonthOverviewData &o)
{
    return {
        {QStringLiteral("Заработок, р."), o.previous.earnings, o.compared.earnings},
        {QStringLiteral("Штук"), Decimal::fromInt(o.previous.pieces), Decimal::fromInt(o.compared.pieces)},
        {QStringLiteral("Часов"), Decimal::fromInt(o.previous.hours), Decimal::fromInt(o.compared.hours)},
        {QStringLiteral("Рабочих"), Decimal::fromInt(o.previous.workers), Decimal::fromInt(o.compared.workers)},
    };
}

QString shown(const Measure &m, const Decimal &d, const QString &point)
{
    return m.name.startsWith(QStringLiteral("Заработок")) ? MonthOverviewData::money(d, point) : d.toString();
}

// Which days the comparison is over, said plainly when not the whole months
QString comparedNote(const MonthOverviewData &o)
{
    if (o.comparedDays == 0)
        return QString();
    return QStringLiteral("Месяц ещё идёт: сравниваются одни и те же дни обоих месяцев, с 1-го по %1-е.").arg(o.comparedDays);
}

// How many workers the hourly chart shows when it leaves some out
QString rateShownNote(const MonthOverviewData &o)
{
    const int shown = o.topAndBottom().size();
    if (shown >= o.rates.size())
        return QString();
    return QStringLiteral("Показаны %1 из %2 рабочих с часами: 15 с наибольшим и 5 с наименьшим заработком в час.")
        .arg(shown)
        .arg(o.rates.size());
}

QString earningsNote(const MonthOverviewData &o, const QString &point)
{
    QString t = QStringLiteral("Заработок за месяц (сумма строк табеля сдельщиков): %1 р., штук: %2.")
                    .arg(MonthOverviewData::money(o.current.earnings, point))
                    .arg(o.current.pieces);
    const QStringList gap = o.dealDifference(point);
    return gap.isEmpty() ? t : t + QLatin1Char(' ') + gap.join(QLatin1Char(' '));
}

QString monthText(int month, int year) { return MonthGrid::monthName(month) + QLatin1Char(' ') + QString::number(year); }

// This month against the previous one: each measure in per cent of the larger of the two
QChart *comparisonChart(const MonthOverviewData &o)
{
    QChart *c = newChart(MonthOverview::chartTitle(3));
    auto *prev = new QBarSet(o.comparedTitle(true));
    auto *cur = new QBarSet(o.comparedTitle(false));
    QStringList names;
    for (const Measure &m : measures(o)) {
        const double a = num(m.before), b = num(m.now), top = qMax(qAbs(a), qAbs(b));
        prev->append(top > 0 ? a * 100 / top : 0);
        cur->append(top > 0 ? b * 100 / top : 0);
        names << m.name + QStringLiteral(": ") + MonthOverviewData::change(m.before, m.now, screenPoint());
    }
    auto *bars = new QBarSeries;
    bars->append(prev);
    bars->append(cur);
    c->addSeries(bars);
    auto *x = new QBarCategoryAxis;
    x->append(names);
    c->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    auto *y = new QValueAxis;
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTitleText(QStringLiteral("% от большего из двух месяцев"));
    c->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(y);
    return c;
}

// A note cut at spaces into lines of at most `width` characters: a page's
// line is clipped, not wrapped
QStringList wrapped(const QString &text, int width)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// A chart drawn off screen at `size` (logical pixels) and `scale` times as many device pixels
QImage renderChart(QChart *chart, const QSize &size, double scale)
{
    QGraphicsScene scene; // owns the chart from here on
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), QSizeF(size)));
    // lay the chart out now: the layout request would otherwise wait for the event loop
    if (chart->layout())
        chart->layout()->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&p, QRectF(0, 0, image.width(), image.height()), QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return image;
}
} // namespace

QString MonthOverview::chartTitle(int index)
{
    switch (index) {
    case 0: return QStringLiteral("Выработка и заработок по дням");
    case 1: return QStringLiteral("Заработок в час по рабочим");
    case 2: return QStringLiteral("Часы: табель и записи журнала по дням");
    default: return QStringLiteral("Этот месяц и предыдущий");
    }
}

QChart *MonthOverview::makeChart(int index, const MonthOverviewData &data, bool paper)
{
    switch (index) {
    case 0: return dayChart(data);
    case 1: return rateChart(data, paper ? PaperPoint : screenPoint());
    case 2: return hoursChart(data);
    default: return comparisonChart(data);
    }
}

MonthOverview::MonthOverview(Forms &forms, QWidget *parent) : QDialog(parent), f(forms)
{
    setObjectName(QStringLiteral("MonthOverviewWindow"));
    setWindowTitle(QStringLiteral("Обзор месяца"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    MonthBox = new QComboBox(this);
    MonthBox->setObjectName(QStringLiteral("MonthBox"));
    for (int m = 1; m <= 12; ++m)
        MonthBox->addItem(MonthGrid::monthName(m));
    YearBox = new QComboBox(this);
    YearBox->setObjectName(QStringLiteral("YearBox"));
    YearBox->setMinimumWidth(80);
    for (int y = 2007; y <= qMax(2025, QDate::currentDate().year()); ++y)
        YearBox->addItem(QString::number(y));
    RefreshButton = Widgets::pushButton(this, "RefreshButton", QStringLiteral("Обновить"));
    PrintButton = Widgets::pushButton(this, "PrintButton", QStringLiteral("Печать"));
    PdfButton = Widgets::pushButton(this, "PdfButton", QStringLiteral("PDF"));
    PngButton = Widgets::pushButton(this, "PngButton", QStringLiteral("PNG"));
    CloseButton = Widgets::pushButton(this, "CloseButton", QStringLiteral("Выход"));

    ChartTabs = new QTabWidget(this);
    ChartTabs->setObjectName(QStringLiteral("ChartTabs"));
    auto chartView = [this](const char *name) {
        auto *v = new QChartView(this);
        v->setObjectName(QString::fromLatin1(name));
        v->setRenderHint(QPainter::Antialiasing);
        v->setMinimumSize(900, 460);
        return v;
    };
    DayChart = chartView("DayChart");
    RateChart = chartView("RateChart");
    HoursChart = chartView("HoursChart");
    ComparisonChart = chartView("ComparisonChart");

    RateNote = new QLabel(this);
    RateNote->setObjectName(QStringLiteral("RateNote"));
    RateNote->setWordWrap(true);
    auto *ratePage = new QWidget(this);
    auto *rateLay = new QVBoxLayout(ratePage);
    rateLay->addWidget(RateChart, 1);
    rateLay->addWidget(RateNote);

    MismatchList = new QListWidget(this);
    MismatchList->setObjectName(QStringLiteral("MismatchList"));
    MismatchList->setMaximumHeight(140);
    auto *hoursPage = new QWidget(this);
    auto *hoursLay = new QVBoxLayout(hoursPage);
    hoursLay->addWidget(HoursChart, 1);
    hoursLay->addWidget(new QLabel(QStringLiteral("Дни рабочих, где часы табеля и записей журнала расходятся:"), hoursPage));
    hoursLay->addWidget(MismatchList);

    ComparisonTable = new QTableWidget(4, 4, this);
    ComparisonTable->setObjectName(QStringLiteral("ComparisonTable"));
    ComparisonTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ComparisonTable->verticalHeader()->hide();
    ComparisonTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ComparisonTable->setMaximumHeight(150);
    auto *comparisonPage = new QWidget(this);
    auto *cmpLay = new QVBoxLayout(comparisonPage);
    cmpLay->addWidget(ComparisonChart, 1);
    ComparisonNote = new QLabel(this);
    ComparisonNote->setObjectName(QStringLiteral("ComparisonNote"));
    cmpLay->addWidget(ComparisonNote);
    cmpLay->addWidget(ComparisonTable);

    ChartTabs->addTab(DayChart, QStringLiteral("По дням"));
    ChartTabs->addTab(ratePage, QStringLiteral("Заработок в час"));
    ChartTabs->addTab(hoursPage, QStringLiteral("Часы"));
    ChartTabs->addTab(comparisonPage, QStringLiteral("С прошлым месяцем"));

    NoticeLabel = new QLabel(this);
    NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
    QFont bold = NoticeLabel->font();
    bold.setBold(true);
    NoticeLabel->setFont(bold);

    auto *row = new QHBoxLayout;
    row->addWidget(MonthBox);
    row->addWidget(YearBox);
    row->addWidget(RefreshButton);
    row->addWidget(NoticeLabel, 1);
    row->addWidget(PrintButton);
    row->addWidget(PdfButton);
    row->addWidget(PngButton);
    row->addWidget(CloseButton);
    EarningsNote = new QLabel(this);
    EarningsNote->setObjectName(QStringLiteral("EarningsNote"));
    EarningsNote->setWordWrap(true);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(row);
    lay->addWidget(ChartTabs, 1);
    lay->addWidget(EarningsNote);

    connect(MonthBox, qOverload<int>(&QComboBox::activated), this, [this](int) { readMonth(); });
    connect(YearBox, qOverload<int>(&QComboBox::activated), this, [this](int) { readMonth(); });
    connect(RefreshButton, &QPushButton::clicked, this, &MonthOverview::readMonth);
    connect(PrintButton, &QPushButton::clicked, this, &MonthOverview::printClick);
    connect(PdfButton, &QPushButton::clicked, this, [this] { savePdf(); });
    connect(PngButton, &QPushButton::clicked, this, [this] { savePng(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    resize(1100, 720);
    Widgets::centreAndFocus(this, nullptr, nullptr, Widgets::Refocus::OnShow);
    showData();
}

int MonthOverview::month() const { return MonthBox->currentIndex() + 1; }
int MonthOverview::year() const { return YearBox->currentText().toInt(); }
QString MonthOverview::monthTitle() const { return monthText(m_data.month, m_data.year); }

void MonthOverview::prepare(const QDate &day)
{
    MonthBox->setCurrentIndex(day.month() - 1);
    if (YearBox->findText(QString::number(day.year())) < 0)
        YearBox->addItem(QString::number(day.year()));
    YearBox->setCurrentIndex(YearBox->findText(QString::number(day.year())));
    readMonth();
}

void MonthOverview::openOverview()
{
    prepare(QDate::currentDate());
    exec();
}

void MonthOverview::readMonth()
{
    try {
        m_data = MonthOverviewData::read(ReportConnection::name(), month(), year());
    } catch (const DbError &e) {
        m_data = MonthOverviewData{};
        m_data.month = month();
        m_data.year = year();
        showData();
        Dialogs::error(e.text());
        return;
    }
    showData();
}

void MonthOverview::showData()
{
    if (m_data.month == 0) { // nothing read yet: an empty month of the chosen one
        m_data.month = month();
        m_data.year = year();
        const QDate first(m_data.year, m_data.month, 1);
        for (int d = 1; d <= first.daysInMonth(); ++d)
            m_data.days.append(MonthOverviewData::Day{first.addDays(d - 1), {}, 0, 0, 0});
    }
    setWindowTitle(QStringLiteral("Обзор месяца: ") + monthTitle());
    QChartView *views[ChartCount] = {DayChart, RateChart, HoursChart, ComparisonChart};
    for (int i = 0; i < ChartCount; ++i) {
        QChart *old = views[i]->chart();
        views[i]->setChart(makeChart(i, m_data));
        delete old;
    }
    // mid-sentence the month is in lower case
    NoticeLabel->setText(m_data.isEmpty() ? QStringLiteral("За %1 %2 записей нет.")
                                                .arg(MonthGrid::monthName(m_data.month).toLower())
                                                .arg(m_data.year)
                                          : QString());
    QStringList rateNotes{rateShownNote(m_data)};
    if (m_data.workersWithoutHours > 0)
        rateNotes << QStringLiteral("Рабочих без часов (не показаны): %1").arg(m_data.workersWithoutHours);
    rateNotes.removeAll(QString());
    RateNote->setText(rateNotes.join(QLatin1Char(' ')));
    RateNote->setVisible(!rateNotes.isEmpty());
    EarningsNote->setText(m_data.isEmpty() ? QString() : earningsNote(m_data, screenPoint()));
    ComparisonNote->setText(comparedNote(m_data));
    ComparisonNote->setVisible(!ComparisonNote->text().isEmpty());
    MismatchList->clear();
    for (const MonthOverviewData::Mismatch &m : m_data.mismatches)
        MismatchList->addItem(QStringLiteral("%1  %2: по табелю %3 ч., по записям %4 ч.")
                                  .arg(m.date.toString(QStringLiteral("dd.MM.yyyy")), m.name)
                                  .arg(m.sheetHours)
                                  .arg(m.entryHours));
    if (m_data.mismatches.isEmpty())
        MismatchList->addItem(QStringLiteral("Расхождений нет."));

    ComparisonTable->setHorizontalHeaderLabels({QStringLiteral("Показатель"), m_data.comparedTitle(true),
                                                m_data.comparedTitle(false), QStringLiteral("Изменение")});
    const QVector<Measure> ms = measures(m_data);
    const QString point = screenPoint();
    for (int r = 0; r < ms.size(); ++r) {
        const QStringList cells{ms[r].name, shown(ms[r], ms[r].before, point), shown(ms[r], ms[r].now, point),
                                MonthOverviewData::change(ms[r].before, ms[r].now, point)};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(c == 0 ? (Qt::AlignLeft | Qt::AlignVCenter) : (Qt::AlignRight | Qt::AlignVCenter));
            ComparisonTable->setItem(r, c, item);
        }
    }
}

Printing::Document MonthOverview::document() const
{
    using namespace Printing;
    Document doc;
    doc.title = QStringLiteral("Обзор месяца: ") + monthTitle();
    doc.orientation = QPageLayout::Landscape;
    doc.size = QSizeF(297, 210);
    doc.fontSize = 10;
    const double margin = 10, width = 297 - 2 * margin;
    for (int i = 0; i < ChartCount; ++i) {
        Page page;
        page.texts.append(TextItem{QRectF(margin, margin, width, 8), doc.title + QStringLiteral(". ") + chartTitle(i),
                                   Qt::AlignLeft, true});
        QStringList notes;
        if (m_data.isEmpty())
            notes << QStringLiteral("За месяц записей нет.");
        if (i == 0 && !m_data.isEmpty()) {
            notes << QStringLiteral("Заработок (сумма строк табеля сдельщиков): %1 р., штук: %2")
                         .arg(MonthOverviewData::money(m_data.current.earnings, PaperPoint))
                         .arg(m_data.current.pieces);
            for (const QString &n : m_data.dealDifference(PaperPoint))
                notes << wrapped(n, 130);
        }
        if (i == 1 && !rateShownNote(m_data).isEmpty())
            notes << rateShownNote(m_data);
        if (i == 1 && m_data.workersWithoutHours > 0)
            notes << QStringLiteral("Рабочих без часов (не показаны): %1").arg(m_data.workersWithoutHours);
        if (i == 2)
            notes << QStringLiteral("Дней рабочих с расхождением часов: %1").arg(m_data.mismatches.size());
        if (i == 3) {
            if (!comparedNote(m_data).isEmpty())
                notes << comparedNote(m_data);
            for (const Measure &m : measures(m_data))
                notes << QStringLiteral("%1: %2 → %3 (%4)").arg(m.name, shown(m, m.before, PaperPoint), shown(m, m.now, PaperPoint),
                                                                MonthOverviewData::change(m.before, m.now, PaperPoint));
        }
        double y = 210 - margin - 6 - 5 * notes.size();
        for (const QString &n : notes) {
            page.texts.append(TextItem{QRectF(margin, y, width, 5), n, Qt::AlignLeft, false});
            y += 5;
        }
        const double chartTop = margin + 10, chartBottom = 210 - margin - 8 - 5 * notes.size();
        QChart *chart = makeChart(i, m_data, true);
        page.images.append(ImageItem{QRectF(margin, chartTop, width, chartBottom - chartTop),
                                     renderChart(chart, QSize(1000, 620), 3)});
        page.texts.append(TextItem{QRectF(margin, 210 - margin - 5, width, 5),
                                   QStringLiteral("Страница %1 из %2").arg(i + 1).arg(ChartCount), Qt::AlignRight, false});
        doc.pages.append(page);
    }
    return doc;
}

void MonthOverview::printClick() { Dialogs::preview(document()); }

QString MonthOverview::fileBase() const
{
    return QDir(Excel::documentsFolder())
        .filePath(QStringLiteral("Обзор месяца %1-%2").arg(m_data.year).arg(m_data.month, 2, 10, QLatin1Char('0')));
}

namespace {
// `base` + `ext`, or with " (2)", " (3)"… when the file is there already: a
// file written earlier, perhaps sent or signed, is never overwritten.
QString freePath(const QString &base, const QString &ext)
{
    QString path = base + ext;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext);
    return path;
}

void tellSaved(const QString &path)
{
    Dialogs::information(QStringLiteral("Записано в файл %1").arg(QDir::toNativeSeparators(path)), QStringLiteral("Обзор месяца"));
    Dialogs::openFile(path);
}
} // namespace

QString MonthOverview::savePdf()
{
    QDir().mkpath(QFileInfo(fileBase()).absolutePath());
    const QString path = freePath(fileBase(), QStringLiteral(".pdf"));
    if (!Printing::writePdf(document(), path)) {
        Dialogs::error(QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(path)));
        return QString();
    }
    tellSaved(path);
    return path;
}

QString MonthOverview::savePng()
{
    const int i = ChartTabs->currentIndex();
    QChartView *views[ChartCount] = {DayChart, RateChart, HoursChart, ComparisonChart};
    QDir().mkpath(QFileInfo(fileBase()).absolutePath());
    const QString path = freePath(fileBase() + QStringLiteral(" %1").arg(i + 1), QStringLiteral(".png"));
    const QImage image = views[qBound(0, i, ChartCount - 1)]->grab().toImage();
    if (image.isNull() || !image.save(path, "PNG")) {
        Dialogs::error(QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(path)));
        return QString();
    }
    tellSaved(path);
    return path;
}
