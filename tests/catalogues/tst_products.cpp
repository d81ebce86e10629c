#include "app/Startup.h"
#include "catalogues/TForm26.h"
#include "catalogues/TForm3.h"
#include "catalogues/TForm7.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "Typing.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QClipboard>
#include <QSignalSpy>
#include <QtTest>

using Answers = QList<bool>;
Q_DECLARE_METATYPE(Answers)

namespace {
const QString kOpsQuestion = "По изделию есть расценки они будут удалены!!!";
const QString kEntriesQuestion =
    "По изделию есть операции в текущем, предыдущем месяцах и ранее, они будут удалены. Удалить изделие? ";
const QString kPlainQuestion = "Удалить изделие? ";
} // namespace

class TestProducts : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    Forms *f = nullptr;

    // Runs the editor from the products list: `button` of the list opens it
    // on the product `current`, `act` fills it and presses "Записать".
    bool runEditor(QPushButton *button, int current, const std::function<void(TForm7 *)> &act)
    {
        bool stayed = false;
        DialogDriver::onNextModal([&](QWidget *) {
            if (current)
                QVERIFY(f->DataModule6->Izdel.locate("id", current));
            DialogDriver::onNextModal([&](QWidget *) {
                act(f->Form7);
                QTest::mouseClick(f->Form7->Button1, Qt::LeftButton);
                stayed = f->Form7->isVisible();
            });
            QTest::mouseClick(button, Qt::LeftButton);
        });
        f->Form1->N3Click();
        return stayed;
    }
    int count(const QString &sql) { return TestDb::scalar(sql).toInt(); }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::signInAs(app->forms.DataModule6->connectionName(), QStringLiteral("administrator"));
        f = &app->forms;
    }
    void init()
    {
        TestDb::clearData();
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void save_data()
    {
        QTest::addColumn<bool>("change");
        QTest::addColumn<QString>("brand");
        QTest::addColumn<QString>("massa");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("message"); // empty: saved
        const QString dup = "Такая марка изделия уже заведена!";
        const QString missing = "Все поля должны быть заполнены!";
        QTest::newRow("add: brand in other case") << false << "корпус-1" << "2" << "Корпуса" << dup;
        QTest::newRow("add: new brand, trimmed") << false << "  Д'Артаньян-2 " << "1.5" << "Корпуса" << "";
        QTest::newRow("add: no brand") << false << "  " << "1" << "Корпуса" << missing;
        QTest::newRow("add: no factor") << false << "Новый" << "" << "Корпуса" << missing;
        QTest::newRow("add: no group") << false << "Новый" << "1" << "" << missing;
        QTest::newRow("change: other product's brand") << true << "КОРПУС-1" << "1" << "Корпуса" << dup;
        QTest::newRow("change: brand case only") << true << "КРЫШКА" << "4.25" << "Крышки" << "";
    }
    void save()
    {
        QFETCH(bool, change);
        QFETCH(QString, brand);
        QFETCH(QString, massa);
        QFETCH(QString, group);
        QFETCH(QString, message);
        const int g1 = Seed::group("Корпуса");
        const int g2 = Seed::group("Крышки");
        Seed::product("Корпус-1", g1, 2);
        const int lid = Seed::product("Крышка", g1, 3);
        ScriptedDialogs dialogs;
        const bool stayed = runEditor(change ? f->Form3->Button2 : f->Form3->Button1, change ? lid : 0, [&](TForm7 *ed) {
            ed->Edit1->setText(brand);
            ed->Edit2->setText(massa);
            ed->cb_item->setCurrentIndex(ed->cb_item->findText(group));
        });
        QCOMPARE(stayed, !message.isEmpty());
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        const int products = count("select count(*) from cmn_gds_and_srv.gds_and_srv");
        if (!message.isEmpty()) {
            QCOMPARE(products, 2);
            QCOMPARE(count(QString("select count(*) from accounts_dep.izdel where id=%1 and marka='Крышка' and massa=3").arg(lid)), 1);
            return;
        }
        QCOMPARE(products, change ? 2 : 3);
        const int groupId = group == "Корпуса" ? g1 : g2;
        QCOMPARE(count(QString("select count(*) from accounts_dep.izdel where marka='%1' and massa=%2 and id_class_item=%3")
                           .arg(brand.trimmed().replace("'", "''"), massa)
                           .arg(groupId)),
                 1);
    }

    // "." and "," both enter as one point; other characters are discarded.
    void factorKeys_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("refused");
        QTest::newRow("comma") << "1,5" << "1.5" << false;
        QTest::newRow("point") << "2.25" << "2.25" << false;
        QTest::newRow("second point") << "1.2,3.4" << "1.234" << true;
        QTest::newRow("letters and blanks") << "1a б 2" << "12" << true;
    }
    // A refused key is signalled (a tip under the field tells why).
    void factorKeys()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, refused);
        DecimalEdit *e = f->Form7->Edit2;
        e->clear();
        QSignalSpy spy(e, &QLineEdit::inputRejected);
        typeText(e, typed);
        QCOMPARE(e->text(), shown);
        QCOMPARE(!spy.isEmpty(), refused);
        e->clear();
    }

    // Name fields hold at most what their columns hold, so a long name is cut
    // where it is typed instead of refused by the server.
    void nameFieldsHoldTheirColumns_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("column");
        QTest::newRow("worker") << "TForm2" << "accounts_dep.person.fio";
        QTest::newRow("brand") << "TForm7" << "cmn_gds_and_srv.gds_and_srv.s_caption";
        QTest::newRow("kind") << "TForm9" << "accounts_dep.vid_oper.vid";
    }
    void nameFieldsHoldTheirColumns()
    {
        QFETCH(QString, window);
        QFETCH(QString, column);
        const QStringList parts = column.split('.');
        const int size = TestDb::scalar(QString("select character_maximum_length from information_schema.columns "
                                                "where table_schema='%1' and table_name='%2' and column_name='%3'")
                                            .arg(parts[0], parts[1], parts[2])).toInt();
        QVERIFY(size > 0);
        QWidget *w = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == window)
                w = top;
        QVERIFY(w);
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("Edit1"));
        QVERIFY(edit);
        edit->clear();
        QApplication::clipboard()->setText(QString(size + 20, QChar(0x0416)));
        edit->paste();
        QCOMPARE(edit->text().size(), size);
        edit->clear();
    }

    void factorPaste_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("decimal comma") << "12,5" << "12.5";
        QTest::newRow("decimal point") << "12.5" << "12.5";
        QTest::newRow("two points") << "1.2.3" << "";
        QTest::newRow("text") << "12 кг" << "";
    }
    void factorPaste()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        DecimalEdit *e = f->Form7->Edit2;
        e->clear();
        QApplication::clipboard()->setText(pasted);
        e->paste();
        QCOMPARE(e->text(), shown);
        e->clear();
    }

    // A factor saved unchanged stays the same number.
    void factorSavedUnchanged_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("whole number") << "3" << "3";
        QTest::newRow("fraction") << "2.5" << "2.5";
    }
    void factorSavedUnchanged()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const int p = Seed::product("Корпус", Seed::group("Корпуса"), stored.toDouble());
        QString seen;
        ScriptedDialogs dialogs;
        QVERIFY(!runEditor(f->Form3->Button2, p, [&](TForm7 *ed) { seen = ed->Edit2->text(); }));
        QCOMPARE(seen, shown);
        QCOMPARE(TestDb::scalar(QString("select massa = %1 from cmn_gds_and_srv.gds_and_srv where id=%2").arg(stored).arg(p)).toBool(), true);
    }

    // The questions of a deletion, in order, and what each answer removes.
    void deleteProduct_data()
    {
        QTest::addColumn<bool>("withOperation");
        QTest::addColumn<QDate>("entryDate"); // null: no entry
        QTest::addColumn<QDate>("today");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<bool>("productGone");
        QTest::addColumn<int>("operationsLeft");
        QTest::addColumn<int>("entriesLeft");
        const QDate june(2025, 6, 10), january(2025, 1, 15);
        QTest::newRow("operations only: No, then Yes") << true << QDate() << june << Answers{false, true}
                                                       << QStringList{kOpsQuestion, kPlainQuestion} << true << 1 << 0;
        QTest::newRow("operations only: Yes, then No") << true << QDate() << june << Answers{true, false}
                                                       << QStringList{kOpsQuestion, kPlainQuestion} << false << 0 << 0;
        QTest::newRow("entries present: Yes") << true << QDate(2024, 3, 5) << june << Answers{true, true}
                                              << QStringList{kOpsQuestion, kEntriesQuestion} << true << 0 << 0;
        QTest::newRow("entries present: No") << false << QDate(2024, 3, 5) << june << Answers{false}
                                             << QStringList{kEntriesQuestion} << false << 0 << 1;
        QTest::newRow("January: 01.12.2000 counts") << false << QDate(2000, 12, 1) << january << Answers{true}
                                                    << QStringList{kEntriesQuestion} << true << 0 << 0;
        QTest::newRow("January: 30.11.2000 does not") << false << QDate(2000, 11, 30) << january << Answers{true}
                                                       << QStringList{kPlainQuestion} << true << 0 << 1;
        QTest::newRow("June: 01.05.2000 counts") << false << QDate(2000, 5, 1) << june << Answers{true}
                                                 << QStringList{kEntriesQuestion} << true << 0 << 0;
        QTest::newRow("June: 30.04.2000 does not") << false << QDate(2000, 4, 30) << june << Answers{true}
                                                   << QStringList{kPlainQuestion} << true << 0 << 1;
    }
    void deleteProduct()
    {
        QFETCH(bool, withOperation);
        QFETCH(QDate, entryDate);
        QFETCH(QDate, today);
        QFETCH(Answers, answers);
        QFETCH(QStringList, questions);
        QFETCH(bool, productGone);
        QFETCH(int, operationsLeft);
        QFETCH(int, entriesLeft);
        const int g = Seed::group("Корпуса");
        Seed::product("Другой", g);
        const int p = Seed::product("Корпус", g);
        const int k = Seed::kind("Сборка");
        const int o = withOperation ? Seed::operation(p, k, 0, {1.5}) : 0;
        if (entryDate.isValid())
            Seed::entry({entryDate, 1, Seed::worker("Петров"), p, o});
        ScriptedDialogs dialogs;
        dialogs.answers = answers;
        int listed = -1;
        DialogDriver::onNextModal([&](QWidget *) {
            QVERIFY(f->DataModule6->Izdel.locate("id", p));
            f->Form3->deleteProduct(today);
            listed = f->DataModule6->Izdel.recordCount();
        });
        f->Form1->N3Click();
        QCOMPARE(dialogs.texts(), questions);
        for (const auto &s : dialogs.shown)
            QCOMPARE(s.caption, QString("Удаление"));
        QCOMPARE(count(QString("select count(*) from cmn_gds_and_srv.gds_and_srv where id=%1").arg(p)), productGone ? 0 : 1);
        QCOMPARE(listed, productGone ? 1 : 2);
        QCOMPARE(count(QString("select count(*) from accounts_dep.oper where i_id=%1").arg(p)), operationsLeft);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), entriesLeft);
        if (withOperation)
            QCOMPARE(count("select count(*) from accounts_dep.norm where o_id not in (7777, 7778)"), 1); // norms stay
    }

    // The deleted entries' hours leave the timesheet in the same transaction:
    // cells of two workers over two months; other products' hours stay. When
    // the timesheet refuses, nothing of the deletion happens.
    void deletionRecomputesTimesheet_data()
    {
        QTest::addColumn<bool>("timesheetRefuses");
        QTest::newRow("cells recomputed") << false;
        QTest::newRow("timesheet refuses: nothing deleted") << true;
    }
    void deletionRecomputesTimesheet()
    {
        QFETCH(bool, timesheetRefuses);
        const int g = Seed::group("Корпуса");
        const int gone = Seed::product("Корпус", g);
        const int kept = Seed::product("Крышка", g);
        const int k = Seed::kind("Сборка");
        const int og = Seed::operation(gone, k, 0, {1.5});
        const int ok = Seed::operation(kept, k, 0, {1.5});
        const int w1 = Seed::worker("Петров"), w2 = Seed::worker("Сидоров");
        auto entry = [](const QDate &d, int shift, int w, int product, int oper, int hours) {
            Seed::Entry e{d, shift, w, product, oper};
            e.time = hours;
            Seed::entry(e);
        };
        entry(QDate(2024, 3, 5), 1, w1, gone, og, 4);
        entry(QDate(2024, 3, 5), 1, w1, kept, ok, 3);
        entry(QDate(2024, 4, 1), 2, w2, gone, og, 6);
        entry(QDate(2024, 4, 2), 2, w2, gone, og, 5);
        Seed::shiftLine(w1, 1, 3, 2024, {{5, 7}, {6, 8}});
        Seed::shiftLine(w2, 2, 4, 2024, {{1, 6}, {2, 5}, {3, 9}});
        std::unique_ptr<TestDb::RefusedWrites> refuse;
        if (timesheetRefuses)
            refuse = std::make_unique<TestDb::RefusedWrites>("accounts_dep.h_tabel");
        ScriptedDialogs dialogs; // Yes to both questions
        DialogDriver::onNextModal([&](QWidget *) {
            QVERIFY(f->DataModule6->Izdel.locate("id", gone));
            QTest::mouseClick(f->Form3->Button3, Qt::LeftButton);
        });
        f->Form1->N3Click();
        refuse.reset();
        if (timesheetRefuses)
            QVERIFY(dialogs.texts().last().contains(TestDb::RefusedWrites::message()));
        const auto lines = TestDb::rows("select w_id, d5, d6, d1, d2, d3 from accounts_dep.h_tabel order by w_id");
        const QVariantList before1{w1, 7, 8, QVariant(), QVariant(), QVariant()}, before2{w2, QVariant(), QVariant(), 6, 5, 9};
        const QVariantList after1{w1, 3, 8, QVariant(), QVariant(), QVariant()}, after2{w2, QVariant(), QVariant(), 0, 0, 9};
        auto plain = [](QVariantList r) {
            for (QVariant &v : r)
                v = v.isNull() ? QVariant() : QVariant(v.toInt());
            return r;
        };
        QCOMPARE(lines.size(), 2);
        QCOMPARE(plain(lines[0]), timesheetRefuses ? before1 : after1);
        QCOMPARE(plain(lines[1]), timesheetRefuses ? before2 : after2);
        QCOMPARE(count("select count(*) from accounts_dep.smena"), timesheetRefuses ? 4 : 1);
        QCOMPARE(count(QString("select count(*) from accounts_dep.oper where i_id=%1").arg(gone)), timesheetRefuses ? 1 : 0);
        QCOMPARE(count(QString("select count(*) from cmn_gds_and_srv.gds_and_srv where id=%1").arg(gone)), timesheetRefuses ? 1 : 0);
    }

    void goodsWithoutGroupNeverShow()
    {
        Seed::product("С группой", Seed::group("Корпуса"));
        TestDb::exec("insert into cmn_gds_and_srv.gds_and_srv (s_caption, massa, id_class_item) values ('Без группы', 1, 999999)");
        QStringList shown;
        DialogDriver::onNextModal([&](QWidget *) {
            const Dataset &q = f->DataModule6->Izdel;
            for (int r = 0; r < q.recordCount(); ++r)
                shown << q.valueAt(r, "marka").toString();
        });
        f->Form1->N3Click();
        QCOMPARE(shown, QStringList{"С группой"});
    }

    // Picking for the operation editor; the box is gone again afterwards.
    void pickWithSearch()
    {
        const int g = Seed::group("Корпуса");
        Seed::product("Крышка", g);
        const int p = Seed::product("Корпус-7  ", g);
        Seed::product("Рама", g);
        TForm3 *list = f->Form3;
        int shown = 0;
        DialogDriver::onNextModal([&](QWidget *) {
            QVERIFY(list->Edit1->isVisible());
            typeText(list->Edit1, "кОРП");
            shown = f->DataModule6->Izdel.recordCount();
            QTest::mouseClick(list->Button2, Qt::LeftButton);
        });
        QVERIFY(list->pick(1));
        QCOMPARE(shown, 1);
        QCOMPARE(list->PickedName, QString("Корпус-7"));
        QCOMPARE(list->PickedId, qint64(p));

        bool boxShown = true;
        int listed = 0;
        QString caption;
        DialogDriver::onNextModal([&](QWidget *) {
            boxShown = list->Edit1->isVisible();
            listed = f->DataModule6->Izdel.recordCount();
            caption = list->Button2->text();
        });
        f->Form1->N3Click();
        QVERIFY(!boxShown);
        QCOMPARE(listed, 3);
        QCOMPARE(caption, QString("Изменить"));
    }

    void nomenclaturePicker()
    {
        TForm26 *picker = f->Form26;
        // an empty list hands nothing over
        DialogDriver::onNextModal([&](QWidget *) { QTest::mouseClick(picker->Button1, Qt::LeftButton); });
        QVERIFY(!picker->pick());
        QCOMPARE(picker->PickedId, qint64(0));
        QVERIFY(picker->PickedName.isEmpty());

        Seed::group("Крышки");
        const int g = Seed::group("Корпуса");
        TestDb::exec("insert into cmn_classifier.item (id_level, s_caption) values (1, 'Корни')"); // not a group
        int shown = 0;
        DialogDriver::onNextModal([&](QWidget *) {
            typeText(picker->Edit1, "кор");
            shown = picker->item->recordCount();
            QTest::keyClick(picker->Edit1, Qt::Key_Return);
        });
        QVERIFY(picker->pick());
        QCOMPARE(shown, 1);
        QCOMPARE(picker->PickedId, qint64(g));
        QCOMPARE(picker->PickedName, QString("Корпуса"));
        QVERIFY(!picker->item->isOpen());
        picker->Edit1->clear();
    }
};

TABEL_TEST_MAIN(TestProducts)
#include "tst_products.moc"
