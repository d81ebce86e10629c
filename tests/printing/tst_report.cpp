#include "app/Startup.h"
#include "db/TDataModule6.h"
#include "printing/ReportPreview.h"
#include "support/DialogDriver.h"
#include "support/EventCount.h"
#include "support/Pdf.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QAction>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Printing;

// A small ledger: two groups, amounts as exact decimals (as numeric columns
// arrive), one long name.
static const char *kLedger =
    "select * from (values ('Альфа', 'а1', 0.1::numeric, 1), ('Альфа', 'а2', 0.1, 2), ('Альфа', 'а3', 0.1, 3),"
    " ('Бета', 'Изделие с очень длинным наименованием, которое не помещается в колонку', 1.005, 4),"
    " ('Бета', 'б2', 2, 5)) t(grp, name, amount, n) where n <= :upto order by grp, n";

class TestReport : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;

    Dataset *ledger(int upto)
    {
        auto *q = new Dataset(TDataModule6::ConnectionName, this);
        q->setSql(QString::fromUtf8(kLedger));
        q->setParam("upto", upto);
        q->open();
        return q;
    }
    static Layout ledgerLayout()
    {
        Layout l;
        l.title = "Ведомость";
        l.reportHeader.height = 8;
        l.reportHeader.elements << label(0, 190, "Ведомость за март", Qt::AlignHCenter, true);
        l.columnHeader.height = 6;
        l.columnHeader.lineBelow = true;
        l.columnHeader.elements << label(0, 40, "Изделие", Qt::AlignLeft, true) << label(150, 40, "Сумма", Qt::AlignRight, true);
        Group g;
        g.expression = "t.grp";
        g.header.height = 5;
        g.header.elements << field(0, 100, "grp", QString(), Qt::AlignLeft, true);
        g.footer.height = 5;
        g.footer.bold = true;
        g.footer.elements << label(0, 40, "Всего:") << field(150, 40, "sum(amount)", "#0.00");
        l.groups << g;
        l.detail.height = 5;
        l.detail.elements << field(5, 40, "name", QString(), Qt::AlignLeft)
                          << field(50, 60, "IF(amount>1,'крупная','мелкая')+' №'+STR(n)", QString(), Qt::AlignLeft)
                          << field(150, 40, "amount", "#0.000");
        l.reportFooter.height = 6;
        l.reportFooter.framed = true;
        l.reportFooter.elements << label(0, 40, "Итого:", Qt::AlignLeft, true) << field(150, 40, "sum(amount*1)", "#0.00");
        l.pageFooter.height = 6;
        l.pageFooter.elements << field(150, 40, "PAGENUMBER");
        return l;
    }
    static QStringList lines(const Document &d)
    {
        QStringList all;
        for (const Page &p : d.pages)
            all << p.plainText().split('\n');
        return all;
    }

private slots:
    void initTestCase() { app = TestDb::startApp(); }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void expressions_data()
    {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("printed");
        QTest::newRow("decimal product") << "a*3" << "#0.00" << "0.30";
        QTest::newRow("mask #0 rounds half up") << "2.5" << "#0" << "3";
        QTest::newRow("mask #0 negative half") << "0-2.5" << "#0" << "-3";
        QTest::newRow("mask #0.000") << "1000*1.2" << "#0.000" << "1200.000";
        QTest::newRow("mask #0.00 from binary float") << "f" << "#0.00" << "2.68";
        QTest::newRow("no mask drops trailing zeros") << "m" << "" << "12.5";
        QTest::newRow("no mask shortest form") << "m*2" << "" << "25";
        QTest::newRow("empty field counts 0") << "e+a+a" << "" << "0.2";
        QTest::newRow("empty field prints nothing") << "e" << "#0.00" << "";
        QTest::newRow("IF with text result") << "IF(n=0,'Готовая продукция','Заготовки')" << "" << "Заготовки";
        QTest::newRow("colour expression 1") << "if(c>0,if(c=1,' (грунт)',' (RAL: '+STR(c)+')'),' ')" << "" << " (грунт)";
        QTest::newRow("colour expression 5") << "if(c5>0,if(c5=1,' (грунт)',' (RAL: '+STR(c5)+')'),' ')" << "" << " (RAL: 5)";
        QTest::newRow("concatenation with a field") << "t+' '+STR(a)" << "" << "Сборка 0.1";
        QTest::newRow("qualified field") << "q.t" << "" << "Сборка";
        QTest::newRow("division by zero") << "a/0" << "#0.00" << "0.00";
        QTest::newRow("precedence") << "1+2*3-(4-1)" << "" << "4";
        // codes in text columns print as stored, whatever they look like
        QTest::newRow("text with a leading zero") << "code1" << "" << "0105";
        QTest::newRow("text with a comma") << "code2" << "" << "3,5";
        QTest::newRow("text with an exponent") << "code3" << "#0.00" << "2E3";
        QTest::newRow("text joined") << "code1+' / '+code3" << "" << "0105 / 2E3";
        QTest::newRow("texts compared as texts") << "IF(code1='105','same','two')" << "" << "two";
    }
    void expressions()
    {
        QFETCH(QString, expr);
        QFETCH(QString, mask);
        QFETCH(QString, printed);
        // numeric columns arrive as exact decimal text but declare a number
        const QMetaType numeric(QMetaType::Double), text(QMetaType::QString);
        const QMap<QString, QPair<QVariant, QMetaType>> fields{
            {"a", {QString("0.1"), numeric}}, {"f", {2.675, numeric}}, {"m", {QString("12.50"), numeric}},
            {"e", {QVariant(), numeric}}, {"n", {1, QMetaType()}}, {"c", {1, QMetaType()}}, {"c5", {5, QMetaType()}},
            {"t", {QString("Сборка"), text}}, {"code1", {QString("0105"), text}}, {"code2", {QString("3,5"), text}},
            {"code3", {QString("2E3"), text}}};
        Expression::Context c;
        c.field = [&](const QString &name) { return Value::fromVariant(fields.value(name).first, fields.value(name).second); };
        QCOMPARE(Expression(expr).eval(c).format(mask), printed);
    }

    void badExpressionIsRefused()
    {
        for (const char *bad : {"1+", "IF(1,2)", "frob(1)", "'open", "(1"})
            QVERIFY_THROWS_EXCEPTION(std::invalid_argument, Expression(QString::fromUtf8(bad)));
    }

    // 0.1 + 0.1 + 0.1 and 1.005 + 2 add up exactly; sums restart per group.
    void groupsFootersAndTotals()
    {
        const Document d = layOut(ledgerLayout(), *ledger(100));
        QCOMPARE(d.pages.size(), 1);
        const QStringList want{
            "Ведомость за март",
            "Изделие\tСумма",
            "Альфа",
            "а1\tмелкая №1\t0.100",
            "а2\tмелкая №2\t0.100",
            "а3\tмелкая №3\t0.100",
            "Всего:\t0.30",
            "Бета",
            "Изделие с очень длинным…\tкрупная №4\t1.005",
            "б2\tкрупная №5\t2.000",
            "Всего:\t3.01",
            "Итого:\t3.31",
            "1",
        };
        QStringList got = lines(d);
        // the long name is shortened to its column; how much of it fits depends on the font
        QVERIFY2(got.value(8).startsWith("Изделие с ") && got.value(8).section('\t', 0, 0).endsWith("…"), qPrintable(got.value(8)));
        got[8] = want[8];
        QCOMPARE(got, want);
        for (const TextItem &t : d.pages[0].texts)
            QVERIFY2(textWidth(t.text, d.fontSize, t.bold) <= t.rect.width() + 0.01, qPrintable(t.text));
    }

    // A long report repeats the column headings (and the header of the group
    // that goes on) at the top of each page, keeps every band above the page
    // footer and numbers the pages at the right.
    void pageBreaks()
    {
        auto *q = new Dataset(TDataModule6::ConnectionName, this);
        q->setSql("select case when i <= 70 then 'Альфа' else 'Бета' end as grp, 'строка ' || i as name,"
                  " 0.01::numeric * i as amount, i as n from generate_series(1, 130) i order by i");
        q->open();
        Layout l = ledgerLayout();
        l.groups[0].repeatHeader = true;
        const Document d = layOut(l, *q);
        QVERIFY(d.pages.size() >= 3);
        const double footerTop = d.size.height() - l.margin - l.pageFooter.height;
        int details = 0;
        for (int i = 0; i < d.pages.size(); ++i) {
            const Page &p = d.pages[i];
            const QStringList rows = p.plainText().split('\n');
            QCOMPARE(rows.value(i == 0 ? 1 : 0), QString("Изделие\tСумма"));
            if (i > 0)
                QVERIFY2(rows.value(1) == "Альфа" || rows.value(1) == "Бета", qPrintable(rows.value(1)));
            QCOMPARE(rows.last(), QString::number(i + 1));
            const TextItem *number = nullptr;
            for (const TextItem &t : p.texts) {
                if (t.rect.top() >= footerTop - 0.01)
                    number = &t;
                else
                    QVERIFY2(t.rect.bottom() <= footerTop + 0.01, qPrintable(t.text));
                details += t.text.startsWith("строка ");
            }
            QVERIFY(number);
            QCOMPARE(number->text, QString::number(i + 1));
            QVERIFY(number->align & Qt::AlignRight);
            QVERIFY(number->rect.right() > d.size.width() - l.margin - 2);
        }
        QCOMPARE(details, 130);
        const QStringList all = lines(d);
        QVERIFY(all.contains("Всего:\t24.85"));  // 0.01 × (1 + … + 70)
        QVERIFY(all.contains("Всего:\t60.30"));  // 0.01 × (71 + … + 130)
        QVERIFY(all.contains("Итого:\t85.15"));
    }

    // Numbers and texts by the column's declared type, or by the layout's
    // word: a text column prints as stored and groups on its stored value.
    void declaredTypes()
    {
        auto *q = new Dataset(TDataModule6::ConnectionName, this);
        q->setSql("select * from (values ('01', '0105', 1.50::numeric, 1), ('1', '3,5', 2.25, 2), ('1', '2E3', 0.1, 3))"
                  " t(grp, name, amount, n) order by n");
        q->open();
        Layout l = ledgerLayout();
        const QStringList want{"Ведомость за март", "Изделие\tСумма", "01", "0105\tкрупная №1\t1.500", "Всего:\t1.50",
                               "1", "3,5\tкрупная №2\t2.250", "2E3\tмелкая №3\t0.100", "Всего:\t2.35",
                               "Итого:\t3.85", "1"};
        QCOMPARE(lines(layOut(l, *q)), want);
        // a numeric column the layout reads as text prints its stored digits
        l.detail.elements[2].mask.clear();
        l.kinds.insert("Amount", Value::Text);
        QCOMPARE(lines(layOut(l, *q)).value(3), QString("0105\tкрупная №1\t1.50"));
    }

    void emptyDatasetStillOnePage()
    {
        const Document d = layOut(ledgerLayout(), *ledger(0));
        QCOMPARE(d.pages.size(), 1);
        QCOMPARE(lines(d), (QStringList{"Ведомость за март", "Изделие\tСумма", "Итого:\t0.00", "1"}));
    }

    void pdfReadsBack()
    {
        const QString text = Pdf::text(layOut(ledgerLayout(), *ledger(100)));
        for (const char *s : {"Ведомость за март", "Альфа", "0.30", "3.01", "Итого:", "3.31", "крупная №5"})
            QVERIFY2(text.contains(QString::fromUtf8(s)), s);
    }

    // Through the seam a test receives the pages; the real preview window
    // shows them with its tool bar and saves them as PDF.
    void previewWindow()
    {
        const Document d = layOut(ledgerLayout(), *ledger(100));
        {
            ScriptedDialogs dialogs;
            Dialogs::preview(d);
            QCOMPARE(dialogs.previews.size(), 1);
            QCOMPARE(dialogs.previews[0].pages.size(), 1);
        }
        ReportPreview w(d);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.view()->pageCount(), 1);
        QCOMPARE(w.windowTitle(), QString("Ведомость"));
        QCOMPARE(w.findChild<QLabel *>("PageLabel")->text(), QString("1 из 1"));
        for (const char *a : {"PrintAction", "PdfAction", "NextPageAction", "ZoomInAction", "FitWidthAction"})
            QVERIFY2(w.findChild<QAction *>(a), a);
        if (!qEnvironmentVariableIsEmpty("TABEL_SHOTS"))
            w.grab().save(qEnvironmentVariable("TABEL_SHOTS") + "/preview.png");
        QTemporaryDir dir;
        const QString pdf = dir.filePath("ведомость.pdf");
        QVERIFY(w.saveAs(pdf));
        QVERIFY(Pdf::text(pdf).contains("Итого:"));
        w.close();
    }

    // A preview left alone does nothing: whatever the window's size and zoom,
    // its scroll bars must not come and go for ever (a one-page landscape
    // report fitted to the width of its window is where they did).
    void previewIdleAtEverySize()
    {
        Document d;
        d.title = "Табель";
        d.orientation = QPageLayout::Landscape;
        d.size = QSizeF(297, 210);
        Page p;
        for (int r = 0; r < 30; ++r)
            p.texts << TextItem{QRectF(10, 10 + r * 5, 60, 5), QString("Рабочий %1").arg(r), Qt::AlignLeft, false};
        d.pages << p;
        ReportPreview w(d);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const char *zoom : {"FitWidthAction", "FitPageAction", "ZoomInAction"}) {
            w.findChild<QAction *>(zoom)->trigger();
            const auto worst = busiestSize(&w, pageEdgeSizes(1000, 700));
            QVERIFY2(worst.first < 10, qPrintable(QString("%1 at %2").arg(zoom, worst.second)));
        }
        w.close();
    }
};

TABEL_TEST_MAIN(TestReport)
#include "tst_report.moc"
