#include "app/Startup.h"
#include "catalogues/TForm22.h"
#include "catalogues/TForm7.h"
#include "catalogues/UsersWindow.h"
#include "db/TDataModule6.h"
#include "support/DialogDriver.h"
#include "support/Seed.h"
#include "support/TestDb.h"
#include "support/TestMain.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

// Values a column cannot hold are refused before they are sent, in Russian,
// naming the field and its limit; nothing is stored. The users window's
// role change starts on the user's own role.
class TestLimits : public QObject {
    Q_OBJECT
    std::unique_ptr<AppContext> app;
    Forms *f = nullptr;

    // Everything the three windows could have written, as one text
    QString stored()
    {
        return TestDb::scalar("select concat_ws(' | ', (select string_agg(name, ',' order by id) from accounts_dep.users), "
                              "(select string_agg(price::text, ',' order by id) from accounts_dep.norm), "
                              "(select string_agg(s_caption || '=' || massa::text, ',' order by id) from cmn_gds_and_srv.gds_and_srv))")
            .toString();
    }

private slots:
    void initTestCase()
    {
        app = TestDb::startApp();
        f = &app->forms;
        TestDb::signInAs(f->DataModule6->connectionName(), QStringLiteral("administrator"));
    }
    void init()
    {
        TestDb::clearData();
        TestDb::exec("delete from accounts_dep.users where not builtin");
    }
    void cleanup() { DialogDriver::verifyNoWindowLeftOpen(); }
    void cleanupTestCase() { app.reset(); }

    void refusedBeforeSending_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message"); // empty: stored
        QTest::newRow("user name of 10 000") << "users" << "" << QString(10000, QChar(u'я')) << "Имя: не длиннее 128 знаков.";
        QTest::newRow("user name of 129") << "users" << "" << QString(129, QChar('a')) << "Имя: не длиннее 128 знаков.";
        QTest::newRow("user name of 128 and blanks") << "users" << "" << "  " + QString(128, QChar('a')) + " " << "";
        const QString price = "Цена: не больше 99 999 999 999,9999.";
        QTest::newRow("norm price rounding past the column") << "norms" << "price" << "99999999999.99999" << price;
        QTest::newRow("norm price of 12 whole digits") << "norms" << "price" << "100000000000" << price;
        QTest::newRow("norm price of 30 digits") << "norms" << "price" << QString(30, QChar('9')) << price;
        QTest::newRow("norm price, the largest") << "norms" << "price" << "099999999999.99994" << "";
        QTest::newRow("norm past an integer") << "norms" << "norma" << "99999999999" << "Норматив: не больше 2 147 483 647.";
        const QString factor = "Расценка: не больше 999 999 999 999,999999.";
        QTest::newRow("factor of 15 digits") << "product" << "" << "123456789012345" << factor;
        QTest::newRow("factor rounding past the column") << "product" << "" << "999999999999.9999995" << factor;
        QTest::newRow("factor, the largest") << "product" << "" << "999999999999.999999" << "";
        QTest::newRow("brand of 255") << "brand" << "" << QString(255, QChar(u'ж')) << "Марка: не длиннее 254 знаков.";
    }
    void refusedBeforeSending()
    {
        QFETCH(QString, window);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const int group = Seed::group("Корпуса");
        const int product = Seed::product("K-1", group);
        const int op = Seed::operation(product, Seed::kind("Сборка"), 0, {10.0});
        const QString before = stored();
        ScriptedDialogs dialogs;
        bool ok = false;
        if (window == "users") {
            UsersWindow u(f->DataModule6->connectionName());
            ok = u.addUser(value, "econom", "длинный-код");
        } else if (window == "norms") {
            f->Form22->operId = op;
            f->Form22->readNorms();
            ok = f->Form22->storeCell(0, field, value);
        } else {
            TForm7 *ed = f->Form7;
            ed->Tag = 1;
            ed->item->close();
            ed->item->open();
            ed->setGroup(group);
            ed->Edit1->setMaxLength(32767); // as a pasted or imported brand may come
            ed->Edit1->setText(window == "brand" ? value : "Новый");
            ed->Edit2->setText(window == "brand" ? "1" : value);
            ok = ed->save();
        }
        if (message.isEmpty()) {
            QVERIFY2(ok, qPrintable(dialogs.texts().join('\n')));
            QVERIFY(stored() != before);
            return;
        }
        QVERIFY(!ok);
        QCOMPARE(dialogs.texts(), QStringList{message});
        QCOMPARE(stored(), before);
        if (window == "brand")
            f->Form7->Edit1->setMaxLength(254);
    }

    // The name field cuts a pasted name at the column's length
    void nameFieldCutsAtTheColumn()
    {
        UsersWindow u(f->DataModule6->connectionName());
        QString typedName;
        DialogDriver::onModal("NewUserDialog", [&](QWidget *d) {
            auto *name = d->findChild<QLineEdit *>("NameEdit");
            name->setFocus();
            name->insert(QString(300, QChar(u'щ')));
            typedName = name->text();
        });
        u.addButton->click();
        QCOMPARE(typedName.size(), 128);
    }

    // After a refusal "Новый пользователь" opens again where it stood, with what was typed
    void newUserKeepsItsPlace()
    {
        ScriptedDialogs dialogs;
        UsersWindow u(f->DataModule6->connectionName());
        QPoint first, second;
        QString nameAgain;
        DialogDriver::onModal("NewUserDialog", [&](QWidget *d) {
            d->move(d->pos() + QPoint(37, 23)); // as the user may have dragged it
            first = d->pos();
            d->findChild<QLineEdit *>("NameEdit")->setText("Сидоров С.С.");
            d->findChild<QLineEdit *>("CodeEdit")->setText("123"); // refused: too short
            DialogDriver::onModal("NewUserDialog", [&](QWidget *again) {
                second = again->pos();
                nameAgain = again->findChild<QLineEdit *>("NameEdit")->text();
            });
            QTest::keyClick(d->findChild<QLineEdit *>("CodeEdit"), Qt::Key_Return);
        });
        u.addButton->click();
        QCOMPARE(dialogs.texts(), QStringList{"Код должен быть не короче 6 знаков: короткий код легко подобрать."});
        QCOMPARE(second, first);
        QCOMPARE(nameAgain, QString("Сидоров С.С."));
    }

    // "Сменить роль" starts on the user's role; "Администратор" is asked first, naming the user
    void roleChange_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("role");
        QTest::newRow("Enter keeps the role") << "" << true << "econom";
        QTest::newRow("administrator, declined") << "Администратор" << false << "econom";
        QTest::newRow("administrator, agreed") << "Администратор" << true << "administrator";
        QTest::newRow("foreman, not asked") << "Мастер" << true << "masters";
    }
    void roleChange()
    {
        QFETCH(QString, choice);
        QFETCH(bool, answer);
        QFETCH(QString, role);
        ScriptedDialogs dialogs;
        dialogs.answers = {answer};
        UsersWindow u(f->DataModule6->connectionName());
        QVERIFY(u.addUser("Петров П.П.", "econom", "петров-1"));
        for (int r = 0; r < u.grid->rowCount(); ++r)
            if (u.grid->item(r, 0)->text() == "Петров П.П.")
                u.grid->setCurrentCell(r, 0);
        QString shownFirst;
        DialogDriver::onNextModal([&](QWidget *w) {
            auto *box = w->findChild<QComboBox *>();
            QVERIFY(box);
            shownFirst = box->currentText();
            if (!choice.isEmpty())
                box->setCurrentIndex(box->findText(choice));
            QTest::keyClick(box, Qt::Key_Return);
        });
        u.roleButton->click();
        QCOMPARE(shownFirst, QString("Экономист"));
        QCOMPARE(TestDb::scalar("select role from accounts_dep.users where name='Петров П.П.'").toString(), role);
        if (choice == "Администратор")
            QCOMPARE(dialogs.texts().value(0), QString("Сделать пользователя Петров П.П. администратором? Администратор может всё, "
                                                       "в том числе заводить пользователей и менять их коды."));
        else
            QVERIFY(dialogs.texts().isEmpty());
    }
};

TABEL_TEST_MAIN(TestLimits)
#include "tst_limits.moc"
