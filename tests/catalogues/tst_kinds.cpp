#include "app/Startup.h"
#include "catalogues/TForm8.h"
#include "catalogues/TForm9.h"
#include "db/TDataModule6.h"
#include "journal/TForm1.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"
#include "Typing.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestKinds : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    Forms *f = nullptr;

    int kindCount(const QString &where = "true")
    {
        return TestDb::scalar("select count(*) from accounts_dep.vid_oper where id not in (7777, 7778) and " + where).toInt();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        TestDb::signInAs(app->forms.DataModule6->connectionName(), QStringLiteral("administrator"));
        f = &app->forms;
    }
    void init() { TestDb::clearData(); }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    // The editor, opened from the list in add or change mode on "Сборка".
    void save_data()
    {
        QTest::addColumn<bool>("change");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: saved
        QTest::newRow("add: other case") << false << "сБОРКА" << "Такая операция уже заведена!";
        QTest::newRow("add: surrounding blanks") << false << "  Сборка  " << "Такая операция уже заведена!";
        QTest::newRow("add: blank") << false << "   " << "Все поля должны быть заполнены!";
        QTest::newRow("add: new name with apostrophe") << false << " Д'Арк " << "";
        QTest::newRow("change: unchanged") << true << "Сборка" << "";
        QTest::newRow("change: to another kind's name") << true << "сварка" << "Такая операция уже заведена!";
    }
    void save()
    {
        QFETCH(bool, change);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const int assembly = Seed::kind("Сборка");
        Seed::kind("Сварка");
        ScriptedDialogs dialogs;
        TForm8 *list = f->Form8;
        TForm9 *ed = f->Form9;
        bool stayed = false;
        QString preset;
        DialogDriver::onNextModal([&](QWidget *) {
            QVERIFY(f->DataModule6->Vid_oper.locate("id", assembly));
            DialogDriver::onNextModal([&](QWidget *) {
                preset = ed->Edit1->text();
                ed->Edit1->setText(typed);
                QTest::mouseClick(ed->Button1, Qt::LeftButton);
                stayed = ed->isVisible();
            });
            QTest::mouseClick(change ? list->Button2 : list->Button1, Qt::LeftButton);
        });
        f->Form1->N6Click();
        QCOMPARE(preset, change ? QString("Сборка") : QString());
        QCOMPARE(stayed, !message.isEmpty());
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        if (!message.isEmpty()) {
            QCOMPARE(kindCount(), 2);
            QCOMPARE(kindCount(QString("id=%1 and vid='Сборка'").arg(assembly)), 1);
        } else if (change) {
            QCOMPARE(kindCount(), 2);
            QCOMPARE(kindCount(QString("id=%1 and vid='Сборка'").arg(assembly)), 1);
        } else {
            QCOMPARE(kindCount(), 3);
            QCOMPARE(kindCount("vid='Д''Арк'"), 1);
        }
    }

    void deleteUsedKindKeepsOperations()
    {
        const int g = Seed::group("Корпуса");
        const int p = Seed::product("M-1", g);
        const int k = Seed::kind("Сборка");
        Seed::operation(p, k, 0, {2.5});
        ScriptedDialogs dialogs;
        int left = -1;
        DialogDriver::onNextModal([&](QWidget *) {
            QVERIFY(f->DataModule6->Vid_oper.locate("id", k));
            QTest::mouseClick(f->Form8->Button3, Qt::LeftButton);
            left = f->DataModule6->Vid_oper.recordCount();
        });
        f->Form1->N6Click();
        QCOMPARE(dialogs.texts(), QStringList{"Удалить вид операции?"});
        QCOMPARE(left, 2); // the two work kinds
        QCOMPARE(kindCount(), 0);
        QCOMPARE(TestDb::scalar(QString("select count(*) from accounts_dep.oper where vid=%1").arg(k)).toInt(), 1);
    }

    // The search box exists only for picking; a choice hands the trimmed name and id over.
    void pickWithSearch()
    {
        Seed::kind("Сварка");
        const int k = Seed::kind("Сборка");
        TForm8 *list = f->Form8;
        bool boxInListMode = true;
        DialogDriver::onNextModal([&](QWidget *) { boxInListMode = list->Edit1->isVisible(); });
        f->Form1->N6Click();
        QVERIFY(!boxInListMode);

        list->Edit1->setText("остаток");
        int shown = 0;
        QString box = "x";
        DialogDriver::onNextModal([&](QWidget *) {
            box = list->Edit1->text();
            QVERIFY(list->Edit1->isVisible());
            typeText(list->Edit1, "сБо");
            shown = f->DataModule6->Vid_oper.recordCount();
            QTest::keyClick(list->Edit1, Qt::Key_Return); // "Выбрать" is the default button
        });
        QVERIFY(list->pick(1));
        QCOMPARE(box, QString());
        QCOMPARE(shown, 1);
        QCOMPARE(list->PickedName, QString("Сборка")); // char column, blanks trimmed
        QCOMPARE(list->PickedId, k);
        QVERIFY(list->Edit1->isHidden());
        QVERIFY(!f->DataModule6->Vid_oper.isOpen());
    }
};

TABEL_TEST_MAIN(TestKinds)
#include "tst_kinds.moc"
