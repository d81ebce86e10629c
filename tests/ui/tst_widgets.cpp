#include "db/Dataset.h"
#include "support/TestMain.h"
#include "ui/DatasetModel.h"
#include "ui/DigitEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void digitEditTyping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("refused");
        QTest::newRow("digits") << "0123" << "0123" << false;
        QTest::newRow("letters dropped") << "1a2" << "12" << true;
        QTest::newRow("minus and point dropped") << "-1.5" << "15" << true;
        QTest::newRow("largest 32-bit") << "2147483647" << "2147483647" << false;
        QTest::newRow("beyond 32 bits") << "2147483648" << "214748364" << true;
    }
    void digitEditTyping()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, refused);
        DigitEdit e;
        QSignalSpy spy(&e, &DigitEdit::refused);
        QTest::keyClicks(&e, typed);
        QCOMPARE(e.text(), shown);
        QCOMPARE(!spy.isEmpty(), refused);
    }

    void digitEditPaste_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digits") << "42" << "142";
        QTest::newRow("text") << "4 шт" << "1";
        QTest::newRow("huge") << "99999999999" << "1";
    }
    void digitEditPaste()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        DigitEdit e;
        e.setText("1");
        QApplication::clipboard()->setText(pasted);
        e.paste();
        QCOMPARE(e.text(), shown);
        bool ok = false;
        QCOMPARE(e.value(&ok), shown.toInt());
        QVERIFY(ok);
    }

    // Entering the field selects what it shows, so typing replaces a "0".
    void digitEditTypingReplacesOnEntering_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("click") << 0;
        QTest::newRow("tab") << 1;
        QTest::newRow("window opens on it") << 2;
    }
    void digitEditTypingReplacesOnEntering()
    {
        QFETCH(int, how);
        QWidget w;
        auto *before = new QLineEdit(&w);
        auto *e = new DigitEdit(&w);
        e->move(0, 40);
        e->setText(QStringLiteral("0"));
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        before->setFocus();
        if (how == 0)
            QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(e->width() - 4, e->height() / 2));
        else if (how == 1)
            QTest::keyClick(before, Qt::Key_Tab);
        else
            e->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(e->hasFocus());
        QCoreApplication::processEvents();
        QTest::keyClicks(e, QStringLiteral("100"));
        QCOMPARE(e->text(), QStringLiteral("100"));
    }

    // Cell styles reach the view through the model's roles; hidden columns are not columns.
    void modelRolesAndColumns()
    {
        Dataset ds; // never opened: no rows
        DatasetModel m(&ds, {{"a", "A"}, {"b", "B", Qt::AlignCenter, false}, {"c", "C", Qt::AlignCenter}});
        QCOMPARE(m.columnCount(), 2);
        QCOMPARE(m.columnOf("C"), 1);
        QCOMPARE(m.columnOf("b"), -1);
        QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QString("C"));
        QCOMPARE(m.rowCount(), 0);
        ColumnDef money{"s", "S", Qt::AlignRight, true, 0, 2};
        QLocale::setDefault(QLocale::c());
        QCOMPARE(m.displayText(QVariant(QString("1008.5")), money), QString("1008.50"));
        const QMetaType numeric(QMetaType::Double), text(QMetaType::QString);
        QCOMPARE(m.displayText(QVariant(QString("12.3400")), ColumnDef{"x", "X"}, numeric), QString("12.34"));
        QCOMPARE(m.displayText(QVariant(QString("442.8750")), money, numeric), QString("442.88"));
        QCOMPARE(m.displayText(QVariant(QString("-0.004")), money, numeric), QString("0.00"));
        QCOMPARE(m.displayText(QVariant(QString("99.995")), money, numeric), QString("100.00"));
        // codes are texts: never read as numbers
        for (const char *code : {"0105", "3.5", "2E3", "12.3400"})
            QCOMPARE(m.displayText(QVariant(QString(code)), ColumnDef{"x", "X"}, text), QString(code));
        QCOMPARE(m.displayText(QVariant(QDate(2024, 3, 5)), ColumnDef{"x", "X"}), QString("05.03.2024"));
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(m.displayText(QVariant(1008.5), money), QString("1008,50"));
        QCOMPARE(m.displayText(QVariant(QString("147.6000")), ColumnDef{"x", "X"}, numeric), QString("147,6"));
        QCOMPARE(m.displayText(QVariant(QString("3.5")), ColumnDef{"x", "X"}, text), QString("3.5"));
        QLocale::setDefault(QLocale::c());
    }

    // Columns switched off and on keep their places, titles, colours and widths.
    void modelColumnSwitching()
    {
        Dataset ds;
        DatasetModel m(&ds, {{"a", "A", Qt::AlignLeft, true, 50}, {"b", "B", Qt::AlignLeft, true, 60},
                             {"c", "C", Qt::AlignLeft, true, 70}});
        QTableView view;
        bindGrid(&view, &m);
        m.setColumnColors("c", Qt::red, Qt::blue);
        m.setColumnVisible("b", false);
        QCOMPARE(m.columnCount(), 2);
        QCOMPARE(m.columnOf("c"), 1);
        QCOMPARE(view.columnWidth(1), 70);
        QCOMPARE(m.headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
        m.setColumnVisible("b", true);
        QCOMPARE(m.columnOf("b"), 1);
        QCOMPARE(m.columnOf("c"), 2);
        QCOMPARE(view.columnWidth(1), 60);
        QCOMPARE(view.columnWidth(2), 70);
        QVERIFY(!m.headerData(1, Qt::Horizontal, Qt::ForegroundRole).isValid());
        QCOMPARE(m.headerData(2, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
        m.setColumnVisible("nonexistent", false);
        QCOMPARE(m.columnCount(), 3);
    }
};

TABEL_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
