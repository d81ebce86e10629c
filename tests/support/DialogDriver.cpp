#include "DialogDriver.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

namespace DialogDriver {

void onNextModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QWidget *before = QApplication::activeModalWidget();
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act, before]() {
        QWidget *w = QApplication::activeModalWidget();
        if ((!w || w == before) && ++*tries < 500)
            return;
        timer->stop();
        timer->deleteLater();
        if (!w || w == before) {
            qWarning("DialogDriver: no modal window opened");
            return;
        }
        QPointer<QWidget> guard(w);
        act(w);
        if (guard && guard->isVisible()) {
            if (auto *d = qobject_cast<QDialog *>(guard.data()))
                d->reject();
            else
                guard->close();
        }
    });
    timer->start(10);
}

void verifyNoWindowLeftOpen()
{
    QStringList open;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && qobject_cast<QDialog *>(w))
            open << w->objectName();
    if (!open.isEmpty()) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->hide();
        QFAIL(qPrintable(QStringLiteral("windows left open: ") + open.join(QStringLiteral(", "))));
    }
}

void settle(int ms)
{
    QCoreApplication::processEvents();
    if (ms > 0)
        QTest::qWait(ms);
    QCoreApplication::processEvents();
}

void shot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("TABEL_SHOTS");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace DialogDriver
