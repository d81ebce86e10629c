#include "app/Application.h"
#include "app/Startup.h"
#include "reports/TForm18.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "timesheets/TForm15.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Printing;

// The five printed layouts over one small month, compared line by line with
// the page texts kept in tests/reports/reference/. After a deliberate change
// of a layout, run this test with --reference (or TABEL_REFERENCE=1) to
// write the files anew; the change is then reviewed as a diff of what the
// user sees.
static bool g_rewrite = false;

class TestReferencePages : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

    static QString referencePath(const QString &name)
    {
        return QStringLiteral(TABEL_SOURCE_DIR "/tests/reports/reference/") + name + QStringLiteral(".txt");
    }
    // Every page's texts, one band row a line (tab-separated), the pages headed by their numbers.
    static QStringList pageTexts(const Document &d)
    {
        QStringList out;
        for (int i = 0; i < d.pages.size(); ++i) {
            out << QStringLiteral("=== страница %1 из %2 ===").arg(i + 1).arg(d.pages.size());
            out << d.pages[i].plainText().split(QLatin1Char('\n'));
        }
        return out;
    }
    // The pages as a reader sees them: every text at its place across the
    // page (one character for 1.5 mm, aligned as printed), one band row a
    // line, so that a value that moves to another column shows in the diff.
    static QStringList pagePictures(const Document &d)
    {
        constexpr double mmPerChar = 1.5;
        QStringList out;
        for (int i = 0; i < d.pages.size(); ++i) {
            out << QStringLiteral("=== страница %1 из %2 ===").arg(i + 1).arg(d.pages.size());
            QVector<const TextItem *> items;
            for (const TextItem &t : d.pages[i].texts)
                items << &t;
            std::stable_sort(items.begin(), items.end(), [](const TextItem *a, const TextItem *b) {
                if (qAbs(a->rect.top() - b->rect.top()) > 0.01)
                    return a->rect.top() < b->rect.top();
                return a->rect.left() < b->rect.left();
            });
            QString line;
            double top = -1;
            for (const TextItem *t : items) {
                if (top >= 0 && qAbs(t->rect.top() - top) > 0.01) {
                    out << line;
                    line.clear();
                }
                top = t->rect.top();
                const int w = int(t->text.size());
                int at = qRound(t->rect.left() / mmPerChar);
                if (t->align & Qt::AlignRight)
                    at = qRound(t->rect.right() / mmPerChar) - w;
                else if (t->align & Qt::AlignHCenter)
                    at = qRound(t->rect.center().x() / mmPerChar - w / 2.0);
                at = qMax(at, line.isEmpty() ? 0 : int(line.size()) + 1); // never over the text before
                line += QString(at - line.size(), QLatin1Char(' ')) + t->text;
            }
            if (top >= 0)
                out << line;
        }
        return out;
    }
    static void compareWithReference(const QString &name, const Document &d)
    {
        const QStringList got = pagePictures(d);
        const QString path = referencePath(name);
        if (g_rewrite) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
            f.write((got.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
            return;
        }
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path + " is missing: run this test with --reference"));
        QStringList want = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!want.isEmpty() && want.last().isEmpty())
            want.removeLast();
        for (int i = 0; i < qMax(got.size(), want.size()); ++i)
            QVERIFY2(got.value(i) == want.value(i),
                     qPrintable(QStringLiteral("%1, line %2:\n   printed:  %3\n   expected: %4")
                                    .arg(name).arg(i + 1).arg(got.value(i, "(no line)"), want.value(i, "(no line)"))));
    }
    Document press(QPushButton *button)
    {
        ScriptedDialogs dialogs;
        button->click();
        [&] { QCOMPARE(dialogs.previews.size(), 1); }();
        return dialogs.previews.value(0);
    }

private slots:
    // March 2024: two workers with piecework over three nomenclature groups,
    // among them "01" and "1", and products whose brands look like numbers
    // ("0105", "3,5", "2E3"); a third worker with housekeeping hours only;
    // an entry just after the month.
    void initTestCase()
    {
        app = TestDb::startApp();
        const int g01 = Seed::group("01"), g1 = Seed::group("1"), cases = Seed::group("Корпуса");
        const int p0105 = Seed::product("0105", g01, 0.5), p35 = Seed::product("3,5", g1, 2),
                  p2e3 = Seed::product("2E3", g1, 2), kr = Seed::product("КР-10", cases, 2);
        const int assembly = Seed::kind("Сборка"), paint = Seed::kind("Покраска");
        const int o1 = Seed::operation(p0105, assembly, 0, {12.5}), o2 = Seed::operation(p35, paint, 1, {0.75}),
                  o3 = Seed::operation(p2e3, paint, 1, {0.9}), o4 = Seed::operation(kr, assembly, 0, {10});
        const int a = Seed::worker("Алексеев А.В."), b = Seed::worker("Борисова Н.С."), c = Seed::worker("Ценов Ц.Ц.");
        auto entry = [](const QDate &d, int shift, int w, int p, int o, int kol, int brak, double cena, int time, int color) {
            Seed::Entry e{d, shift, w, p, o, kol, brak, cena, time};
            e.color = color;
            Seed::entry(e);
        };
        entry({2024, 3, 1}, 1, a, p0105, o1, 40, 2, 12.5, 8, 0);
        entry({2024, 3, 4}, 2, a, p35, o2, 30, 0, 0.75, 6, 1);
        entry({2024, 3, 5}, 1, a, p2e3, o3, 10, 1, 3.3333, 4, 1);
        entry({2024, 3, 5}, 1, b, p0105, o1, 16, 0, 25, 8, 0);
        entry({2024, 3, 11}, 3, b, kr, o4, 5, 0, 12, 8, 7);
        entry({2024, 3, 31}, 4, b, p2e3, o3, 8, 0, 0.9, 2, 1);
        entry({2024, 4, 1}, 1, a, p0105, o1, 999, 0, 12.5, 8, 0); // the next month
        Seed::shiftLine(a, 1, 3, 2024, {{1, 8}, {5, 4}});
        Seed::shiftLine(a, 2, 3, 2024, {{4, 6}});
        Seed::shiftLine(b, 1, 3, 2024, {{5, 8}});
        Seed::shiftLine(b, 3, 3, 2024, {{11, 8}});
        Seed::shiftLine(b, 4, 3, 2024, {{31, 2}});
        Seed::shiftLine(a, 1, 4, 2024, {{1, 8}});
        TestDb::exec(QStringLiteral("insert into accounts_dep.h_tabel (w_id, smena, i_type, i_night, month, year, d11, d12, d13) values "
                                    "(%1, 0, 7777, 0, 3, 2024, null, 8, 8), (%2, 0, 7778, 1, 3, 2024, 4, null, null)")
                         .arg(c)
                         .arg(b));

        TForm18 *r = app->forms.Form18;
        r->DTPicker1->setDate({2024, 3, 1});
        r->DTPicker2->setDate({2024, 4, 1});
        r->setProductKind(0);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void printedTimesheet()
    {
        ScriptedDialogs dialogs;
        app->forms.Form15->printMonth(3, 2024, QStringLiteral("Март 2024 г."));
        QCOMPARE(dialogs.previews.size(), 1);
        compareWithReference(QStringLiteral("TForm15"), dialogs.previews[0]);
    }

    void reports_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("form");
        QTest::newRow("by workers") << "Button4" << "TForm16";
        QTest::newRow("by products") << "Button2" << "TForm17";
        QTest::newRow("detailed by workers") << "Button1" << "TForm20";
        QTest::newRow("detailed by products") << "Button3" << "TForm21";
    }
    void reports()
    {
        QFETCH(QString, button);
        QFETCH(QString, form);
        compareWithReference(form, press(app->forms.Form18->findChild<QPushButton *>(button)));
    }

    // Brands print as stored, and the groups "01" and "1" stay two groups,
    // each with its own sums (checked apart from the reference files, so a
    // rewritten reference cannot hide it).
    void codesAreTexts()
    {
        TForm18 *r = app->forms.Form18;
        const QStringList detailed = pageTexts(press(r->Button3));
        QVERIFY(detailed.contains("0105\tСборка\t0\tГотовая продукция\t2\t28\t56\t875.000"));
        QVERIFY(detailed.contains("2E3\tПокраска\t1\tЗаготовки\t1\t36\t18\t37.200"));
        QVERIFY(detailed.contains("3,5\tПокраска\t1\tЗаготовки\t0\t60\t30\t22.500"));
        // above the grand total: the page number "1" stands below it
        auto before = [](const QStringList &lines, const QString &line) {
            int n = 0;
            for (const QString &l : lines) {
                if (l.startsWith("Итого:"))
                    break;
                n += l == line;
            }
            return n;
        };
        const int g01 = detailed.indexOf("01"), g1 = detailed.indexOf("1", g01);
        QVERIFY(g01 >= 0 && g1 > g01);
        QCOMPARE(before(detailed, "01"), 1);
        QCOMPARE(before(detailed, "1"), 1);
        QCOMPARE(detailed.value(g01 + 2), QString("2\t28.00\t56\t875.00"));
        QCOMPARE(detailed.value(g1 + 3), QString("1\t96.00\t48\t59.70"));

        const QStringList byWorkers = pageTexts(press(r->Button4));
        QCOMPARE(before(byWorkers, "01"), 2); // under each worker
        QCOMPARE(before(byWorkers, "1"), 2);
        QVERIFY(pageTexts(press(r->Button1)).contains("2E3\tПокраска\t1\tЗаготовки\t1\t10\t30.00"));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir documents;
    if (qEnvironmentVariableIsEmpty("TABEL_DOCUMENTS_DIR"))
        qputenv("TABEL_DOCUMENTS_DIR", documents.path().toUtf8());
    // --reference is ours; every other argument goes to Qt Test
    QVector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "--reference") == 0)
            g_rewrite = true;
        else
            args << argv[i];
    }
    g_rewrite = g_rewrite || !qEnvironmentVariableIsEmpty("TABEL_REFERENCE");
    int n = args.size();
    args << nullptr;
    Application app(n, args.data());
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestReferencePages tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, n, args.data());
}

#include "tst_reference_pages.moc"
