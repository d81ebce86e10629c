#include "app/Startup.h"
#include "catalogues/TForm2.h"
#include "catalogues/TForm5.h"
#include "db/Sql.h"
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
#include <QtTest>

class TestWorkers : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    Forms *f = nullptr;

    QStringList shownNames() const
    {
        const Dataset &w = f->DataModule6->Workers;
        QStringList names;
        for (int r = 0; r < w.recordCount(); ++r)
            names << w.valueAt(r, "fio").toString();
        return names;
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

    // The search box filters the rows already read by the start of the name.
    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        const QStringList all{"Иванов И.И.", "Петров П.П.", "Петрова А.А."};
        QTest::newRow("prefix") << "Пет" << QStringList{"Петров П.П.", "Петрова А.А."};
        QTest::newRow("other case") << "пЕТРОВА" << QStringList{"Петрова А.А."};
        QTest::newRow("middle of a name") << "етров" << QStringList{};
        QTest::newRow("empty box") << "" << all;
    }
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        Seed::worker("Петров П.П.");
        Seed::worker("Иванов И.И.");
        Seed::worker("Петрова А.А.");
        TForm5 *list = f->Form5;
        QStringList seen;
        DialogDriver::onNextModal([&](QWidget *) {
            typeText(list->Edit1, "Пе");
            list->Edit1->clear();
            typeText(list->Edit1, typed);
            seen = shownNames();
        });
        QVERIFY(!list->pick(1));
        QCOMPARE(seen, shown);
        QVERIFY(!f->DataModule6->Workers.isOpen());
    }

    // Up and Down move the list; other keys do not reach the box.
    void searchKeys()
    {
        Seed::worker("Андреев");
        Seed::worker("Борисов");
        TForm5 *list = f->Form5;
        int afterDown = 0, afterUp = 0;
        QString text;
        DialogDriver::onNextModal([&](QWidget *) {
            typeText(list->Edit1, "аб");
            QTest::keyClick(list->Edit1, Qt::Key_Home);
            QTest::keyClick(list->Edit1, Qt::Key_Delete); // swallowed: the caret stays at the end
            QTest::keyClick(list->Edit1, Qt::Key_Backspace);
            text = list->Edit1->text();
            QTest::keyClick(list->Edit1, Qt::Key_Down);
            afterDown = f->DataModule6->Workers.recNo();
            QTest::keyClick(list->Edit1, Qt::Key_Up);
            afterUp = f->DataModule6->Workers.recNo();
        });
        list->pick(1);
        QCOMPARE(text, QString("а"));
        QCOMPARE(afterDown, 1); // only "Андреев" is shown
        QCOMPARE(afterUp, 1);
    }

    void pickHandsOverTrimmedName()
    {
        Seed::worker("Андреев");
        const int id = Seed::worker("Борисов Б.Б.   ");
        TForm5 *list = f->Form5;
        DialogDriver::onNextModal([&](QWidget *) {
            typeText(list->Edit1, "бор");
            QVERIFY(list->Button2->isVisible());
            QVERIFY(list->Button1->isHidden() && list->Button3->isHidden());
            QVERIFY(list->Button2->isDefault());
            QTest::mouseClick(list->Button2, Qt::LeftButton);
        });
        QVERIFY(list->pick(24));
        QCOMPARE(list->PickedName, QString("Борисов Б.Б."));
        QCOMPARE(list->PickedId, id);
        QVERIFY(!f->DataModule6->Workers.filtered()); // the shared query is left unfiltered
    }

    void pickFromEmptyListHandsNothing()
    {
        TForm5 *list = f->Form5;
        list->PickedName = "старое";
        list->PickedId = 5;
        DialogDriver::onNextModal([&](QWidget *) { QTest::mouseClick(list->Button2, Qt::LeftButton); });
        QVERIFY(!list->pick(1));
        QVERIFY(list->PickedName.isEmpty());
        QCOMPARE(list->PickedId, 0);
    }

    void menuOpenerRestoresButtonsAfterPicking()
    {
        TForm5 *list = f->Form5;
        DialogDriver::onNextModal([](QWidget *) {});
        list->pick(1);
        QStringList captions;
        bool shown = false, editDefault = true;
        DialogDriver::onNextModal([&](QWidget *) {
            captions = QStringList{list->Button1->text(), list->Button2->text(), list->Button3->text()};
            shown = list->Button1->isVisible() && list->Button2->isVisible() && list->Button3->isVisible();
            editDefault = list->Button2->isDefault();
        });
        f->Form1->N1Click();
        QCOMPARE(captions, (QStringList{"Добавить", "Изменить", "Удалить"}));
        QVERIFY(shown);
        QVERIFY(!editDefault);
    }

    // What the editor stores for a typed name, and which names it refuses.
    void addWorker_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("blank") << "" << "";
        QTest::newRow("spaces only") << "    " << "";
        QTest::newRow("trimmed") << "  Сидоров С.С.  " << "Сидоров С.С.";
        QTest::newRow("apostrophe") << "Д'Артаньян Ш." << "Д'Артаньян Ш.";
        QTest::newRow("statement text") << "x'); delete from accounts_dep.person; --" << "x'); delete from accounts_dep.person; --";
    }
    void addWorker()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        TestDb::exec("insert into hrms_staffpos.staffpos (id, s_caption) values (1, 'Сборщик'), (2, 'Слесарь')");
        TestDb::exec("insert into cmn_department.department (id, s_caption) values (1, 'Цех 1')");
        ScriptedDialogs dialogs;
        TForm5 *list = f->Form5;
        TForm2 *ed = f->Form2;
        bool editorStayed = false;
        DialogDriver::onNextModal([&](QWidget *) {
            DialogDriver::onNextModal([&](QWidget *w) {
                QCOMPARE(w, static_cast<QWidget *>(ed));
                QCOMPARE(ed->windowTitle(), QString("Заведение данных нового работника"));
                QCOMPARE(ed->LCB_staffpos->count(), 2);
                ed->LCB_staffpos->setCurrentIndex(ed->LCB_staffpos->findText("Слесарь"));
                ed->LCB_department->setCurrentIndex(0);
                ed->Edit1->setText(typed);
                QTest::mouseClick(ed->Button1, Qt::LeftButton);
                editorStayed = ed->isVisible();
            });
            QTest::mouseClick(list->Button1, Qt::LeftButton);
            QVERIFY(list->isVisible()); // adding leaves the list open
        });
        f->Form1->N1Click();
        if (stored.isEmpty()) {
            QVERIFY(editorStayed);
            QCOMPARE(dialogs.texts(), QStringList{"ФИО нужно заполнить!"});
            QCOMPARE(dialogs.shown.first().caption, QString("Ошибка"));
            QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.person").toInt(), 0);
            return;
        }
        QVERIFY(!editorStayed);
        QVERIFY(dialogs.shown.isEmpty());
        const auto rows = TestDb::rows("select id, fio, s_staffpos_hl from accounts_dep.person");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][1].toString(), stored);
        QCOMPARE(rows[0][2].toString(), QString("Слесарь"));
        // The journal's worker join knows the new worker under the same id.
        QCOMPARE(TestDb::scalar(QString("select s_caption from cmn_contractor.person where id=%1 and s_code='%1'")
                                    .arg(rows[0][0].toInt()))
                     .toString(),
                 stored);
    }

    // Changing saves the trimmed name and closes the list after the editor.
    void changeWorkerClosesList()
    {
        Seed::worker("Андреев");
        const int id = Seed::worker("Борисов", "Слесарь");
        TForm5 *list = f->Form5;
        TForm2 *ed = f->Form2;
        QString preset;
        DialogDriver::onNextModal([&](QWidget *) {
            f->DataModule6->Workers.setRecNo(2);
            DialogDriver::onNextModal([&](QWidget *) {
                preset = ed->Edit1->text();
                ed->Edit1->setText(" Борисов-Иванов ");
                QTest::mouseClick(ed->Button1, Qt::LeftButton);
            });
            QTest::mouseClick(list->Button2, Qt::LeftButton);
            QVERIFY(!list->isVisible());
        });
        f->Form1->N1Click();
        QCOMPARE(preset, QString("Борисов"));
        QCOMPARE(TestDb::scalar(QString("select fio from accounts_dep.person where id=%1").arg(id)).toString(),
                 QString("Борисов-Иванов"));
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.person").toInt(), 2);
    }

    void deleteLastWorkerLeavesEmptyList()
    {
        const int id = Seed::worker("Единственный");
        Seed::entry({QDate(2024, 3, 5), 1, id, 1, 1});
        ScriptedDialogs dialogs;
        TForm5 *list = f->Form5;
        int left = -1;
        bool stillOpen = false;
        DialogDriver::onNextModal([&](QWidget *) {
            QTest::mouseClick(list->Button3, Qt::LeftButton);
            left = f->DataModule6->Workers.recordCount();
            stillOpen = list->isVisible();
            QTest::mouseClick(list->Button3, Qt::LeftButton); // nothing left to delete
        });
        f->Form1->N1Click();
        QCOMPARE(dialogs.texts(), QStringList{"Удалить работника?"});
        QCOMPARE(dialogs.shown.first().caption, QString("Удаление"));
        QCOMPARE(left, 0);
        QVERIFY(stillOpen);
        // the worker's entries stay
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.smena").toInt(), 1);
    }

    void deleteAnsweredNoKeepsWorker()
    {
        Seed::worker("Оставить");
        ScriptedDialogs dialogs;
        dialogs.answers = {false};
        DialogDriver::onNextModal([&](QWidget *) { QTest::mouseClick(f->Form5->Button3, Qt::LeftButton); });
        f->Form1->N1Click();
        QCOMPARE(TestDb::scalar("select count(*) from accounts_dep.person").toInt(), 1);
    }
};

TABEL_TEST_MAIN(TestWorkers)
#include "tst_workers.moc"
