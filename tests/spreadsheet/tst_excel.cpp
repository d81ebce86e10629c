#include "spreadsheet/Excel.h"
#include "spreadsheet/ExcelWorkbook.h"
#include "support/DialogDriver.h"
#include "support/TestMain.h"
#include "support/Xlsx.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestExcel : public QObject {
    Q_OBJECT
    QTemporaryDir docs;

private slots:
    void initTestCase()
    {
        QVERIFY(docs.isValid());
        Excel::setDocumentsFolder(docs.path());
    }
    void cleanup() { Excel::setDocumentsFolder(docs.path()); }

    void writeShowAndReadBack()
    {
        ScriptedDialogs dialogs;
        QCOMPARE(ExcelStart(QString(), QStringLiteral("Операции")), 1);
        QCOMPARE(ExcelShow(false), 1);
        QVERIFY(QDir(docs.path()).entryList(QDir::Files).isEmpty());

        QCOMPARE(ExcelWriteValue(1, 1, 2, QStringLiteral("Изделие с длинным именем")), 1);
        QCOMPARE(ExcelWriteCell(1, 1, 1, QStringLiteral("Марка"), true, true, true), 1); // fits the column to row 2
        QCOMPARE(ExcelWriteValue(1, 1, 3, QString()), 1);                                 // touches nothing
        QCOMPARE(ExcelWriteCell(1, 2, 1, QStringLiteral("00123"), true, false, false), 1); // text, as formatted
        QCOMPARE(ExcelWriteValue(1, 2, 2, QStringLiteral("12,5")), 1);
        QCOMPARE(ExcelWriteValue(1, 3, 2, QStringLiteral(" -0.25 ")), 1);
        QCOMPARE(ExcelWriteValue(1, 3, 3, QStringLiteral("12.5.2024")), 1);
        QCOMPARE(ExcelWriteCell(1, 4, 1, QStringLiteral("жирный"), false, false, true), 1);
        QCOMPARE(ExcelWriteCell(1, 4, 1, QStringLiteral("7"), false, false, false), 1); // bold cleared
        QCOMPARE(ExcelWriteCell(1, 5, 1, QStringLiteral("5"), true, false, false), 1);
        QCOMPARE(ExcelWriteValue(1, 5, 1, QStringLiteral("6")), 1); // the format stays on the cell
        QCOMPARE(ExcelWriteCell(1, 6, 1, QStringLiteral("8"), false, true, false), 1); // number, fitted, not text
        QVERIFY(dialogs.shown.isEmpty());

        QCOMPARE(ExcelShow(true), 1);
        QCOMPARE(dialogs.opened.size(), 1);
        const QString file = dialogs.opened.first();
        QCOMPARE(file, Excel::lastSavedFile());
        QCOMPARE(QFileInfo(file).absolutePath(), QFileInfo(docs.path()).absoluteFilePath());
        QVERIFY2(QFileInfo(file).fileName().startsWith(QStringLiteral("Операции 20")), qPrintable(file));
        QVERIFY(file.endsWith(QStringLiteral(".xlsx")));

        const Xlsx::Sheet r = Xlsx::read(file);
        QVERIFY(r.ok);
        struct Want {
            const char *ref, *type, *value;
            bool text, bold;
        };
        const Want want[] = {
            {"A1", "s", "Марка", true, true},
            {"A2", "s", "Изделие с длинным именем", false, false},
            {"B1", "s", "00123", true, false},
            {"B2", "n", "12.5", false, false},
            {"C2", "n", "-0.25", false, false},
            {"C3", "s", "12.5.2024", false, false},
            {"D1", "n", "7", false, false},
            {"E1", "s", "6", true, false},
            {"F1", "n", "8", false, false},
        };
        for (const Want &w : want) {
            const QString ref = QString::fromLatin1(w.ref);
            QVERIFY2(r.cells.contains(ref), w.ref);
            const Xlsx::Cell &c = r.cells[ref];
            QCOMPARE(c.type, QString::fromLatin1(w.type));
            QCOMPARE(c.value, QString::fromUtf8(w.value));
            QCOMPARE(c.textFormat, w.text);
            QCOMPARE(c.bold, w.bold);
        }
        QVERIFY(!r.cells.contains(QStringLiteral("A3")));
        QCOMPARE(r.cells.size(), int(std::size(want)));
        // column A fitted to its longest text, B and C left at the standard width
        QVERIFY2(r.widths.value(1) >= 24, qPrintable(QString::number(r.widths.value(1))));
        QVERIFY(!r.widths.contains(2));
        QVERIFY(r.widths.value(6) > 0 && r.widths.value(6) < 8.43); // fitted to one digit

        // a second show writes the same file again and nothing else
        QCOMPARE(ExcelShow(true), 1);
        QCOMPARE(QDir(docs.path()).entryList(QDir::Files).size(), 1);
    }

    // A timesheet-shaped sheet, every cell written with a fit as the timesheet
    // exports do: each column ends as wide as its widest final text, including
    // texts written without a fit and texts overwritten by shorter ones.
    // Money: rounded to kopecks on its decimal digits, a two-decimal format,
    // and in the file the figure itself, without a binary tail.
    void money_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("format");
        QTest::newRow("kopecks") << "9194.36" << "n" << "9194.36" << "0.00";
        QTest::newRow("binary tail") << "9194.360000000001" << "n" << "9194.36" << "0.00";
        QTest::newRow("half a kopeck up") << "1.005" << "n" << "1.01" << "0.00";
        QTest::newRow("negative half") << "-2.345" << "n" << "-2.35" << "0.00";
        QTest::newRow("comma") << "12,5" << "n" << "12.5" << "0.00";
        QTest::newRow("whole") << "200" << "n" << "200" << "0.00";
        QTest::newRow("no number") << "нет" << "s" << "нет" << "";
    }
    void money()
    {
        QFETCH(QString, written);
        QFETCH(QString, type);
        QFETCH(QString, stored);
        QFETCH(QString, format);
        ScriptedDialogs dialogs;
        QCOMPARE(ExcelStart(QString(), QStringLiteral("Деньги")), 1);
        QCOMPARE(ExcelWriteMoney(1, 1, 1, written, true, false), 1);
        QCOMPARE(ExcelWriteValue(1, 2, 1, QStringLiteral("0.1")), 1); // other numbers keep the general format
        QCOMPARE(ExcelShow(true), 1);
        const Xlsx::Sheet r = Xlsx::read(dialogs.opened.value(0));
        QVERIFY(r.ok);
        QCOMPARE(r.cells["A1"].type, type);
        QCOMPARE(r.value("A1"), stored);
        QCOMPARE(r.cells["A1"].format, format);
        QCOMPARE(r.value("B1"), QString("0.1"));
        QCOMPARE(r.cells["B1"].format, QString());
    }

    void fittedWidthsOfALargeSheet()
    {
        ScriptedDialogs dialogs;
        QCOMPARE(ExcelStart(QString(), QStringLiteral("Табель")), 1);
        const int rows = 1000, columns = 33;
        QMap<QPair<int, int>, QString> finalText;
        auto put = [&](int column, int row, const QString &text, bool fit) {
            const int r = fit ? ExcelWriteCell(1, column, row, text, column <= 2, true, row == 1)
                              : ExcelWriteValue(1, column, row, text);
            QCOMPARE(r, 1);
            finalText[qMakePair(row, column)] = text;
        };
        // headers first written long, then replaced by short ones: the fit shrinks back
        for (int c = 1; c <= columns; ++c)
            put(c, 1, QStringLiteral("временный заголовок столбца %1").arg(c), true);
        for (int c = 1; c <= columns; ++c)
            put(c, 1, c == 1 ? QStringLiteral("ФИО") : QString::number(c - 2), true);
        for (int row = 2; row <= rows + 1; ++row) {
            put(1, row, QStringLiteral("работник %1").arg(row), true);
            put(2, row, QString::number(100000 + row), true);
            for (int c = 3; c <= columns; ++c)
                put(c, row, QString::number((row * c) % 13 + (c % 4 ? 0.5 : 0.0)), true);
        }
        // a long name written without a fit counts at the next fit of its column
        put(1, 700, QStringLiteral("работник с очень длинной фамилией"), false);
        put(1, rows + 2, QStringLiteral("итого"), true);
        // a long text in a column never fitted leaves it at the standard width
        put(columns + 1, 2, QStringLiteral("примечание без подгонки"), false);
        QVERIFY(dialogs.shown.isEmpty());

        QCOMPARE(ExcelShow(true), 1);
        const Xlsx::Sheet r = Xlsx::read(Excel::lastSavedFile());
        QVERIFY(r.ok);
        QMap<int, double> widest;
        for (auto it = finalText.constBegin(); it != finalText.constEnd(); ++it)
            widest[it.key().second] = qMax(widest.value(it.key().second), ExcelSheet::textWidth(it.value()));
        // exact in the workbook; the file stores widths rounded to whole pixels
        const ExcelSheet &book = Excel::currentWorkbook()->sheets.first();
        for (int c = 1; c <= columns; ++c) {
            const double want = qMin(255.0, widest[c] + 1.0);
            QVERIFY2(qAbs(book.widths.value(c) - want) < 1e-9,
                     qPrintable(QStringLiteral("column %1: %2 against %3").arg(c).arg(book.widths.value(c)).arg(want)));
            QVERIFY2(qAbs(r.widths.value(c) - want) < 1, qPrintable(QString::number(c)));
        }
        QVERIFY(!r.widths.contains(columns + 1));
        QCOMPARE(r.value(QStringLiteral("A700")), QStringLiteral("работник с очень длинной фамилией"));
    }

    void failures_data()
    {
        QTest::addColumn<int>("sheet");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("caption");
        QTest::newRow("sheet 2") << 2 << 3 << 4 << "Ошибочный номер листа Microsoft Excel";
        QTest::newRow("sheet 0") << 0 << 1 << 1 << "Ошибочный номер листа Microsoft Excel";
        QTest::newRow("row 0") << 1 << 1 << 0 << "Ошибка Microsoft Excel";
        QTest::newRow("column past the last") << 1 << 16385 << 1 << "Ошибка Microsoft Excel";
    }
    void failures()
    {
        QFETCH(int, sheet);
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(QString, caption);
        ScriptedDialogs dialogs;
        QCOMPARE(ExcelStart(QString(), QStringLiteral("x")), 1);
        const QString text = QStringLiteral("Ошибка при записи: лист %1, столбец %2, строка %3").arg(sheet).arg(column).arg(row);
        QCOMPARE(ExcelWriteValue(sheet, column, row, QStringLiteral("1")), -1);
        QCOMPARE(ExcelWriteCell(sheet, column, row, QStringLiteral("1"), true, true, true), -1);
        QCOMPARE(dialogs.texts(), (QStringList{text, text}));
        QCOMPARE(dialogs.shown.first().caption, caption);
        QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Error);
        // an empty text is never refused
        QCOMPARE(ExcelWriteValue(sheet, column, row, QString()), 1);
        QCOMPARE(dialogs.shown.size(), 2);
    }

    void startRefused_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("unwritableFolder");
        QTest::newRow("folder cannot be made") << QString() << true;
        QTest::newRow("existing workbook") << QStringLiteral("/tmp/a.xlsx") << false;
    }
    void startRefused()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, unwritableFolder);
        ScriptedDialogs dialogs;
        QFile blocker(docs.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        if (unwritableFolder)
            Excel::setDocumentsFolder(blocker.fileName() + QStringLiteral("/Документы"));
        QCOMPARE(ExcelStart(fileName), -1);
        QCOMPARE(dialogs.texts(), QStringList{"Ошибка открытия файла Microsoft Excel."});
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
        // nothing to write to, nothing to show
        QCOMPARE(ExcelWriteValue(1, 1, 1, QStringLiteral("a")), -1);
        QCOMPARE(dialogs.shown.last().caption, QString("Ошибочный номер листа Microsoft Excel"));
        QCOMPARE(ExcelShow(true), 1);
        QVERIFY(dialogs.opened.isEmpty());
        blocker.remove();
    }

    // The folder disappears between start and show: the failure is reported, not lost.
    void showFailsLoudly()
    {
        ScriptedDialogs dialogs;
        QTemporaryDir gone;
        Excel::setDocumentsFolder(gone.path());
        QCOMPARE(ExcelStart(QString(), QStringLiteral("x")), 1);
        QCOMPARE(ExcelWriteValue(1, 1, 1, QStringLiteral("a")), 1);
        gone.remove();
        QFile blocker(gone.path());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(ExcelShow(true), -1);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown.first().caption, QString("Ошибка Microsoft Excel"));
        QVERIFY(dialogs.opened.isEmpty());
        blocker.remove();
    }
};

TABEL_TEST_MAIN(TestExcel)
#include "tst_excel.moc"
