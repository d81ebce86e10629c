#include "app/Startup.h"
#include "catalogues/TForm10.h"
#include "catalogues/TForm22.h"
#include "catalogues/TForm3.h"
#include "catalogues/TForm4.h"
#include "catalogues/TForm8.h"
#include "db/TDataModule6.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "support/Xlsx.h"
#include "ui/DatasetModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

QString cell(const QAbstractItemModel *m, int row, int column)
{
    return m->data(m->index(row, column)).toString();
}

QStringList columnTexts(const QAbstractItemModel *m, int column)
{
    QStringList t;
    for (int r = 0; r < m->rowCount(); ++r)
        t << cell(m, r, column);
    return t;
}

// Types text as keys, Cyrillic too (QTest::keyClicks takes Latin-1 only).
void typeText(QWidget *w, const QString &text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
}

void doubleClickRow(QTableView *view, int row)
{
    const QRect r = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    TDataModule6 *dm = nullptr;
    Forms *f = nullptr;
    int group = 0;

    void inList(std::function<void(TForm4 *)> act)
    {
        DialogDriver::onModal(QStringLiteral("TForm4"), [act](QWidget *w) { act(static_cast<TForm4 *>(w)); });
        f->Form4->openList();
    }
    int product(const QString &marka) { return Seed::product(marka, group); }
    int count(const QString &sql) { return TestDb::scalar(sql).toInt(); }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::signInAs(app->forms.DataModule6->connectionName(), QStringLiteral("administrator"));
        dm = app->forms.DataModule6;
        f = &app->forms;
    }
    void init()
    {
        TestDb::clearData();
        group = Seed::group(QStringLiteral("Корпуса"));
        f->Form4->CheckBox1->setChecked(false);
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // The list price is the smallest norm; deleting a norm and "Сохранить" show the new figures.
    void normsDecideListPrice()
    {
        ScriptedDialogs dialogs;
        const int op = Seed::operation(product("КР-100"), Seed::kind("Резка"), 0, {12.5, 10, 11});
        inList([&](TForm4 *w) {
            QCOMPARE(cell(w->gridModel, 0, 2), QString("10"));
            QCOMPARE(cell(w->gridModel, 0, 4), QString("3"));
            w->CheckBox1->setChecked(true);
            DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *m) {
                auto *n = static_cast<TForm22 *>(m);
                QCOMPARE(columnTexts(n->gridModel, 1), (QStringList{"12.50", "10.00", "11.00", ""}));
                n->DBGrid1->setCurrentIndex(n->gridModel->index(1, 1));
                n->Button2->click();
                QCOMPARE(columnTexts(n->gridModel, 1), (QStringList{"12.50", "11.00", ""}));
                n->Button1->click();
            });
            doubleClickRow(w->DBGrid1, 0);
            QCOMPARE(cell(w->gridModel, 0, 2), QString("11"));
            QCOMPARE(cell(w->gridModel, 0, 4), QString("2"));
        });
        QVERIFY(!dm->Oper.isOpen());
        QCOMPARE(count(QString("select count(*) from accounts_dep.norm where o_id=%1").arg(op)), 2);
        QVERIFY(dialogs.shown.isEmpty());
    }

    // The last norm stays; bad numbers are refused; the empty row begins a norm of
    // this operation; a cell still being edited is stored by "Сохранить".
    void normsGrid()
    {
        ScriptedDialogs dialogs;
        const int op = Seed::operation(product("КР-100"), Seed::kind("Резка"), 0, {5});
        const int other = Seed::operation(product("КР-200"), Seed::kind("Резка"), 0, {1});
        const QString norms = QString("select norma, price::text, prize from accounts_dep.norm where o_id=%1 order by id").arg(op);
        DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
            TForm22 *n = f->Form22;
            QAbstractItemModel *m = n->gridModel;
            n->DBGrid1->setCurrentIndex(m->index(0, 0));
            n->Button2->click();
            QCOMPARE(m->rowCount(), 2);
            QVERIFY(dialogs.shown.isEmpty());

            for (const char *bad : {"abc", "-1", "1e400", "2,5,1"})
                QVERIFY2(!m->setData(m->index(0, 1), QString::fromLatin1(bad)), bad);
            QVERIFY(!m->setData(m->index(0, 0), QStringLiteral("2.5")));
            QCOMPARE(dialogs.shown.size(), 5);
            QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
            QVERIFY(!m->setData(m->index(1, 1), QStringLiteral("  "))); // no row begun

            n->DBGrid1->setCurrentIndex(m->index(1, 1));
            QVERIFY(m->setData(m->index(1, 1), QStringLiteral("7,25")));
            QCOMPARE(columnTexts(m, 1), (QStringList{"5.00", "7.25", ""}));
            QCOMPARE(n->DBGrid1->currentIndex(), m->index(1, 1));
            QVERIFY(m->setData(m->index(1, 0), QStringLiteral("3"))); // moves up by norma, the cursor with it
            QCOMPARE(columnTexts(m, 1), (QStringList{"7.25", "5.00", ""}));
            QCOMPARE(n->DBGrid1->currentIndex(), m->index(0, 1));

            // typed as a user would: Tab stores and moves on, Enter stores, Enter again closes
            n->DBGrid1->setFocus();
            typeText(n->DBGrid1, QStringLiteral("8"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(columnTexts(m, 1), (QStringList{"8.00", "5.00", ""}));
            QCOMPARE(n->DBGrid1->currentIndex(), m->index(0, 2));
            typeText(QApplication::focusWidget(), QStringLiteral("15"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            DialogDriver::settle();
            QVERIFY(n->isVisible());
            QCOMPARE(cell(m, 0, 2), QString("15"));
            // a cell still being edited is stored by "Сохранить"
            const QModelIndex prize = m->index(1, 2);
            n->DBGrid1->setCurrentIndex(prize);
            n->DBGrid1->edit(prize);
            auto *editor = qobject_cast<QLineEdit *>(n->DBGrid1->indexWidget(prize));
            QVERIFY(editor);
            editor->setText(QStringLiteral("20"));
            n->Button1->click();
            QVERIFY(!n->isVisible());
        });
        f->Form22->openFor(op);
        const QList<QVariantList> rows = TestDb::rows(norms);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), (QVariantList{10, "5.0000", 20}));
        QCOMPARE(rows.at(1), (QVariantList{3, "8.0000", 15}));
        QCOMPARE(count(QString("select count(*) from accounts_dep.norm where o_id=%1").arg(other)), 1);
        QCOMPARE(dialogs.shown.size(), 5);
    }

    // Adding again an operation that was saved and left without norms opens its
    // norms instead of refusing it; one with norms is still a duplicate.
    void addingAnUnfinishedOperationFinishesIt()
    {
        ScriptedDialogs dialogs;
        const int p = product("КР-100");
        const int cut = Seed::kind("Резка");
        const int listed = Seed::operation(p, cut, 0, {2.5});
        TestDb::exec(QString("insert into accounts_dep.oper (vid, naimen, i_id, cena_new) values (%1, 1, %2, 0)").arg(cut).arg(p));
        const int unfinished = count(QString("select id from accounts_dep.oper where i_id=%1 and naimen=1").arg(p));
        auto add = [&](int naimen) {
            DialogDriver::onModal(QStringLiteral("TForm10"), [&, naimen](QWidget *) {
                TForm10 *ed = f->Form10;
                ed->Edit1->setText(QStringLiteral("КР-100"));
                ed->productId = p;
                ed->Edit2->setText(QStringLiteral("Резка"));
                ed->kindId = cut;
                ed->ComboBox1->setCurrentIndex(naimen);
                ed->Button1->click();
            });
        };
        inList([&](TForm4 *w) {
            QCOMPARE(w->gridModel->rowCount(), 1);
            add(1);
            DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
                QCOMPARE(f->Form22->operId, unfinished);
                QVERIFY(f->Form22->gridModel->setData(f->Form22->gridModel->index(0, 1), QStringLiteral("4")));
                f->Form22->Button1->click();
            });
            w->Button1->click();
            QCOMPARE(w->gridModel->rowCount(), 2);
            QCOMPARE(dialogs.shown.size(), 1);
            QCOMPARE(dialogs.shown.first().kind, Dialogs::Kind::Information);
            add(0); // listed with its norm: a duplicate as before
            w->Button1->click();
        });
        QCOMPARE(dialogs.texts().last(), QString("Операция с такими параметрами уже заведена!"));
        QCOMPARE(count(QString("select count(*) from accounts_dep.oper where i_id=%1").arg(p)), 2);
        QCOMPARE(count(QString("select count(*) from accounts_dep.norm where o_id in (%1, %2)").arg(listed).arg(unfinished)), 2);
    }

    // A value the server refuses (the price rounds past the column's 11 whole
    // digits) is reported, the cell keeps its value, and the next edit is stored.
    void normsGridAfterARefusedValue()
    {
        ScriptedDialogs dialogs;
        const int op = Seed::operation(product("КР-100"), Seed::kind("Резка"), 0, {5});
        DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
            TForm22 *n = f->Form22;
            QAbstractItemModel *m = n->gridModel;
            auto typeInto = [&](const QModelIndex &at, const QString &text) {
                n->DBGrid1->setCurrentIndex(at);
                n->DBGrid1->edit(at);
                auto *editor = qobject_cast<QLineEdit *>(n->DBGrid1->indexWidget(at));
                QVERIFY(editor);
                editor->setText(text);
                QTest::keyClick(editor, Qt::Key_Tab);
                DialogDriver::settle();
            };
            typeInto(m->index(0, 1), QStringLiteral("99999999999.99999"));
            QCOMPARE(dialogs.shown.size(), 1);
            // refused before sending, in Russian, naming the field and its limit
            QCOMPARE(dialogs.shown.first().text, QStringLiteral("Цена: не больше 99 999 999 999,9999."));
            QCOMPARE(cell(m, 0, 1), QString("5.00"));
            typeInto(m->index(0, 2), QStringLiteral("12"));
            typeInto(m->index(0, 1), QStringLiteral("6"));
            QCOMPARE(dialogs.shown.size(), 1);
            QCOMPARE(cell(m, 0, 1), QString("6.00"));
        });
        f->Form22->openFor(op);
        QCOMPARE(TestDb::rows(QString("select price::text, prize from accounts_dep.norm where o_id=%1").arg(op)),
                 (QList<QVariantList>{{"6.0000", 12}}));
    }

    // Adding through the editor with both pickers; the norms window follows; an
    // operation without a norm is left out of the list but exported with price 0.
    void addOperationAndExport()
    {
        ScriptedDialogs dialogs;
        const int p = product("КР-100");
        const int cut = Seed::kind("Резка");
        const int weld = Seed::kind("Сварка");
        Seed::operation(p, cut, 0, {2.5});
        inList([&](TForm4 *w) {
            QCOMPARE(w->gridModel->rowCount(), 1);
            DialogDriver::onModal(QStringLiteral("TForm10"), [&](QWidget *) {
                TForm10 *ed = f->Form10;
                QCOMPARE(ed->windowTitle(), QString("Заведение новой цены за операцию"));
                QCOMPARE(ed->ComboBox1->currentIndex(), 0);
                DialogDriver::onModal(QStringLiteral("TForm3"), [](QWidget *l) { static_cast<TForm3 *>(l)->Button2->click(); });
                ed->Button3->click();
                QCOMPARE(ed->Edit1->text(), QString("КР-100"));
                DialogDriver::onModal(QStringLiteral("TForm8"), [&](QWidget *l) {
                    auto *kinds = static_cast<TForm8 *>(l);
                    QVERIFY(dm->Vid_oper.locate("id", weld));
                    kinds->Button2->click();
                });
                ed->Button4->click();
                QCOMPARE(ed->Edit2->text(), QString("Сварка"));
                ed->ComboBox1->setCurrentIndex(1);
                DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
                    QCOMPARE(f->Form22->gridModel->rowCount(), 1); // only the empty row
                    f->Form22->Button1->click();
                });
                ed->Button1->click();
            });
            w->Button1->click();
            QCOMPARE(w->gridModel->rowCount(), 1); // still without a norm
            w->Button5->click();
        });
        QCOMPARE(count(QString("select count(*) from accounts_dep.oper where vid=%1 and naimen=1 and i_id=%2 and cena_new=0")
                           .arg(weld).arg(p)),
                 1);
        QCOMPARE(dialogs.opened.size(), 1);
        const Xlsx::Sheet s = Xlsx::read(dialogs.opened.first());
        QVERIFY(s.ok);
        const QStringList want[] = {
            {"Марка", "Операция", "Цена", "Вид"},
            {"КР-100", "Резка", "0", "Готовая продукция"},
            {"КР-100", "Сварка", "0", "Заготовки"},
        };
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                QCOMPARE(s.value(QString("%1%2").arg(QChar('A' + c)).arg(r + 1)), want[r].at(c));
        QCOMPARE(s.cells.value("C3").type, QString("n"));
        QCOMPARE(s.cells.size(), 12);
        QVERIFY(dialogs.shown.isEmpty());
    }

    // A first norm typed after adding brings the operation into the list, current.
    void addedOperationWithFirstNorm()
    {
        ScriptedDialogs dialogs;
        const int p = product("ЯЯ-1");
        Seed::operation(product("АА-1"), Seed::kind("Резка"), 0, {1});
        const int kind = Seed::kind("Сборка");
        inList([&](TForm4 *w) {
            DialogDriver::onModal(QStringLiteral("TForm10"), [&](QWidget *) {
                TForm10 *ed = f->Form10;
                ed->Edit1->setText(QStringLiteral("ЯЯ-1"));
                ed->productId = p;
                ed->Edit2->setText(QStringLiteral("Сборка"));
                ed->kindId = kind;
                DialogDriver::onModal(QStringLiteral("TForm22"), [&](QWidget *) {
                    QAbstractItemModel *m = f->Form22->gridModel;
                    QVERIFY(m->setData(m->index(0, 1), QStringLiteral("4.5")));
                    f->Form22->Button1->click();
                });
                ed->Button1->click();
            });
            w->Button1->click();
            QCOMPARE(w->gridModel->rowCount(), 2);
            QCOMPARE(dm->Oper.asString("MARKA"), QString("ЯЯ-1"));
            QCOMPARE(cell(w->gridModel, 1, 2), QString("4.5"));
        });
        QVERIFY(dialogs.shown.isEmpty());
    }

    void editorChecks_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<bool>("secondKind");
        QTest::addColumn<int>("naimen");
        QTest::addColumn<bool>("brandEmpty");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("operations");
        const QString dup = "Операция с такими параметрами уже заведена!";
        QTest::newRow("add a duplicate") << 1 << false << 0 << false << dup << 2;
        QTest::newRow("add for blanks") << 1 << false << 1 << false << "" << 3;
        QTest::newRow("change, nothing changed") << 2 << false << 0 << false << "" << 2;
        QTest::newRow("change into the other") << 2 << true << 0 << false << dup << 2;
        QTest::newRow("change to blanks") << 2 << false << 1 << false << "" << 2;
        QTest::newRow("no product") << 1 << true << 1 << true << "Все поля должны быть заполнены!" << 2;
    }
    void editorChecks()
    {
        QFETCH(int, tag);
        QFETCH(bool, secondKind);
        QFETCH(int, naimen);
        QFETCH(bool, brandEmpty);
        QFETCH(QString, message);
        QFETCH(int, operations);
        ScriptedDialogs dialogs;
        const int p = product("КР-100");
        const int k1 = Seed::kind("Резка"), k2 = Seed::kind("Сварка");
        const int op1 = Seed::operation(p, k1, 0, {1});
        Seed::operation(p, k2, 0, {1});
        dm->Oper.open();
        QVERIFY(dm->Oper.locate("id", op1));
        TForm10 *ed = f->Form10;
        ed->Tag = tag;
        ed->Edit1->setText(brandEmpty ? QStringLiteral(" ") : QStringLiteral("КР-100"));
        ed->Edit2->setText(QStringLiteral("x"));
        ed->productId = p;
        ed->kindId = secondKind ? k2 : k1;
        ed->ComboBox1->setCurrentIndex(naimen);
        QCOMPARE(ed->save(), message.isEmpty());
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(count("select count(*) from accounts_dep.oper where id not in (7777, 7778)"), operations);
        if (tag == 2 && message.isEmpty()) {
            QCOMPARE(count(QString("select naimen from accounts_dep.oper where id=%1").arg(op1)), naimen);
            QCOMPARE(dm->Oper.asInt("id"), op1); // the changed operation stays current
        }
        dm->Oper.close();
    }

    void changeThroughList()
    {
        ScriptedDialogs dialogs;
        const int p = product("КР-100");
        const int k = Seed::kind("Резка");
        const int op = Seed::operation(p, k, 1, {1});
        Seed::operation(product("АА-1"), k, 0, {1});
        inList([&](TForm4 *w) {
            QVERIFY(dm->Oper.locate("id", op));
            DialogDriver::onModal(QStringLiteral("TForm10"), [&](QWidget *) {
                TForm10 *ed = f->Form10;
                QCOMPARE(ed->windowTitle(), QString("Изменение данных о цене за операцию"));
                QCOMPARE(ed->Edit1->text(), QString("КР-100"));
                QCOMPARE(ed->Edit2->text(), QString("Резка"));
                QCOMPARE(ed->ComboBox1->currentIndex(), 1);
                QCOMPARE(ed->productId, qint64(p));
                QCOMPARE(ed->kindId, k);
                ed->ComboBox1->setCurrentIndex(0);
                ed->Button1->click();
            });
            doubleClickRow(w->DBGrid1, dm->Oper.recNo() - 1); // "Цены" unticked: the editor
            QCOMPARE(dm->Oper.asInt("id"), op);
            QCOMPARE(cell(w->gridModel, dm->Oper.recNo() - 1, 3), QString("Готовая продукция"));
        });
        QCOMPARE(count(QString("select naimen from accounts_dep.oper where id=%1").arg(op)), 0);
        QVERIFY(dialogs.shown.isEmpty());
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("brands");
        const QStringList all{"КР-100", "кр-200", "ПЛ-300"};
        QTest::newRow("middle, any case") << "Р-" << QStringList{"КР-100", "кр-200"};
        QTest::newRow("end") << "00" << all;
        QTest::newRow("blanks only") << "   " << all;
        QTest::newRow("empty") << "" << all;
        QTest::newRow("nothing") << "xyz" << QStringList{};
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, brands);
        const int k = Seed::kind("Резка");
        for (const char *b : {"КР-100", "кр-200", "ПЛ-300"})
            Seed::operation(product(QString::fromUtf8(b)), k, 0, {1});
        dm->Oper.open();
        f->Form4->search(text);
        QStringList shown;
        for (int r = 0; r < dm->Oper.recordCount(); ++r)
            shown << dm->Oper.valueAt(r, "marka").toString();
        QCOMPARE(shown, brands);
        f->Form4->search(QString());
        dm->Oper.close();
    }

    // The chooser on an empty list: "Выбрать" closes it, handing nothing over.
    void choosingFromAnEmptyList()
    {
        TForm4 *w = f->Form4;
        bool closed = false;
        DialogDriver::onModal(QStringLiteral("TForm4"), [&](QWidget *) {
            QCOMPARE(w->gridModel->rowCount(), 0);
            w->Button2->click();
            closed = !w->isVisible();
        });
        QVERIFY(!w->pick(1));
        QVERIFY(closed);
        dm->Oper.close();
    }

    // The chooser shows every column on a 1366×768 screen without a horizontal scroll bar.
    void chooserFitsItsColumns()
    {
        const int k = Seed::kind("Сварка электродуговая полуавтоматическая");
        for (int i = 0; i < 40; ++i)
            Seed::operation(product(QString("Изделие с длинной маркой %1").arg(i)), k, i % 2, {1234.5});
        TForm4 *w = f->Form4;
        DialogDriver::onModal(QStringLiteral("TForm4"), [&](QWidget *) {
            DialogDriver::settle();
            QVERIFY(w->DBGrid1->verticalScrollBar()->isVisible());
            QVERIFY(!w->DBGrid1->horizontalScrollBar()->isVisible());
            QVERIFY(w->frameGeometry().width() <= 1366 && w->frameGeometry().height() <= 768);
            QFont bold = w->DBGrid1->horizontalHeader()->font();
            bold.setBold(true);
            for (int c = 0; c < w->gridModel->columnCount(); ++c) {
                const QString title = w->gridModel->headerData(c, Qt::Horizontal).toString();
                QVERIFY2(w->DBGrid1->columnWidth(c) > QFontMetrics(bold).horizontalAdvance(title), qPrintable(title));
            }
            w->grab().save(QStringLiteral("/tmp/tabel-operations-chooser.png"));
        });
        w->pick(1);
        dm->Oper.close();
    }

    // Picking for the entry editor chooses on a double click even with "Цены" ticked.
    void picking()
    {
        ScriptedDialogs dialogs;
        const int k = Seed::kind("Резка");
        Seed::operation(product("АБВ-12"), k, 0, {3});
        const int chosen = Seed::operation(product("абв-99"), k, 0, {4});
        const int last = Seed::operation(product("ГДЕ-7"), k, 1, {5});
        TForm4 *w = f->Form4;
        w->CheckBox1->setChecked(true);
        DialogDriver::onModal(QStringLiteral("TForm4"), [&](QWidget *) {
            QCOMPARE(w->Button2->text(), QString("Выбрать"));
            QVERIFY(w->Button2->isDefault());
            QVERIFY(w->Button1->isHidden() && w->Button3->isHidden());
            QVERIFY(w->Edit1->isVisible() && w->Edit1->text().isEmpty());
            typeText(w->Edit1, QStringLiteral("бв-"));
            QCOMPARE(dm->Oper.recordCount(), 2);
            QTest::keyClick(w->Edit1, Qt::Key_Down);
            QCOMPARE(dm->Oper.recNo(), 2);
            QTest::keyClick(w->Edit1, Qt::Key_Left); // swallowed: nothing else edits the text
            QTest::keyClick(w->Edit1, Qt::Key_Backspace);
            QCOMPARE(w->Edit1->text(), QString("бв"));
            doubleClickRow(w->DBGrid1, 1);
        });
        QVERIFY(w->pick(1));
        QVERIFY(dm->Oper.isOpen());
        QVERIFY(!dm->Oper.filtered());
        QCOMPARE(dm->Oper.recordCount(), 3);
        QCOMPARE(dm->Oper.asInt("id"), chosen);
        QCOMPARE(dm->Oper.asString("cena"), QString("4.0000"));
        QVERIFY(w->Edit1->isHidden());
        QVERIFY(!w->Button2->isDefault());

        // positioned on the given operation; "Выход" hands nothing over
        DialogDriver::onModal(QStringLiteral("TForm4"), [&](QWidget *) {
            QCOMPARE(dm->Oper.asInt("id"), last);
            w->Button4->click();
        });
        QVERIFY(!w->pick(1, last));
        dm->Oper.close();

        // the list afterwards: its own buttons, and no search box for the rest of the run
        inList([&](TForm4 *) {
            QCOMPARE(w->Button2->text(), QString("Изменить"));
            QVERIFY(!w->Button2->isDefault() && w->Button1->isDefault());
            QVERIFY(w->Button1->isVisible() && w->Button3->isVisible());
            QVERIFY(w->Edit1->isHidden());
        });
        QVERIFY(dialogs.shown.isEmpty());
    }

    void deleteKeepsNormsAndEntries()
    {
        ScriptedDialogs dialogs;
        dialogs.answers = {false, true};
        const int p = product("КР-100");
        const int op = Seed::operation(p, Seed::kind("Резка"), 0, {2, 3});
        Seed::entry({QDate(2024, 3, 5), 1, Seed::worker("Петров П.П."), p, op});
        inList([&](TForm4 *w) {
            w->Button3->click();
            QCOMPARE(w->gridModel->rowCount(), 1);
            w->Button3->click();
            QCOMPARE(w->gridModel->rowCount(), 0);
            w->Button3->click(); // nothing left to delete, nothing asked
        });
        QCOMPARE(dialogs.texts(), (QStringList{"Удалить операцию?", "Удалить операцию?"}));
        QCOMPARE(dialogs.shown.first().caption, QString("Удаление"));
        QCOMPARE(count(QString("select count(*) from accounts_dep.oper where id=%1").arg(op)), 0);
        QCOMPARE(count(QString("select count(*) from accounts_dep.norm where o_id=%1").arg(op)), 2);
        QCOMPARE(count(QString("select count(*) from accounts_dep.smena where o_id=%1").arg(op)), 1);
    }
};

TABEL_TEST_MAIN(TestOperations)
#include "tst_operations.moc"
