#include "ServerBusyBox.h"

#include "db/Gateway.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

ServerBusyBox::ServerBusyBox(std::function<void()> cancel, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_cancel(std::move(cancel))
{
    setObjectName(QStringLiteral("ServerBusyBox"));
    setWindowTitle(QStringLiteral("Табель"));
    // input reaches only this box while it is up
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    Label = new QLabel(QStringLiteral("Сервер занят: ждём ответа…"), this);
    Label->setObjectName(QStringLiteral("Label"));
    Label->setAlignment(Qt::AlignCenter);
    cancelButton = new QPushButton(QStringLiteral("Отменить"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    auto *box = new QVBoxLayout(this);
    box->addWidget(Label);
    box->addLayout(buttons);
    connect(cancelButton, &QPushButton::clicked, this, [this]() {
        cancelButton->setEnabled(false);
        Label->setText(QStringLiteral("Отменяем запрос…"));
        if (m_cancel)
            m_cancel();
    });
    adjustSize();
    setFixedSize(qMax(width(), 280), height());
}

void ServerBusyBox::install()
{
    Gateway::setWaitHook([](const std::function<void()> &cancel) -> QObject * {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
            return nullptr;
        auto *b = new ServerBusyBox(cancel);
        // over the window the user worked in
        if (QWidget *w = QApplication::activeWindow())
            b->move(w->geometry().center() - b->rect().center());
        else if (QScreen *s = QGuiApplication::primaryScreen())
            b->move(s->availableGeometry().center() - b->rect().center());
        b->show();
        return b;
    });
}
