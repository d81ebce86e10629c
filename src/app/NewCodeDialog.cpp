#include "NewCodeDialog.h"

#include "db/DbError.h"
#include "records/Users.h"
#include "ui/Dialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NewCodeDialog::NewCodeDialog(const QString &connection, const QString &userName, QWidget *parent)
    : QDialog(parent), m_connection(connection)
{
    setObjectName(QStringLiteral("NewCodeDialog"));
    setWindowTitle(QStringLiteral("Новый код"));
    Label1 = new QLabel(QStringLiteral("«%1» входит со встроенным кодом, который знают все.\n"
                                       "Задайте свой код, не короче %2 знаков: дальше вход только с ним.")
                            .arg(userName)
                            .arg(Users::kMinCodeLength),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setEchoMode(QLineEdit::Password);
    Button1 = new QPushButton(QStringLiteral("Записать"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Новый код"), Edit1);
    form->addRow(QStringLiteral("Ещё раз"), Edit2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("m")) * 40);

    connect(Button1, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

bool NewCodeDialog::save()
{
    const QString code = Edit1->text();
    QString why = Users::codeProblem(code);
    QLineEdit *mend = Edit1;
    if (why.isEmpty() && Edit2->text() != code) {
        why = QStringLiteral("Коды не совпадают: введите новый код ещё раз.");
        mend = Edit2;
    }
    if (why.isEmpty()) {
        try {
            Users::setOwnCode(m_connection, code);
            return true;
        } catch (const DbError &e) {
            why = e.text();
        }
    }
    Dialogs::error(why);
    mend->setFocus();
    mend->selectAll();
    return false;
}
