#include "DialogDriver.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

namespace DialogDriver {

namespace {

// Expectations not met yet: the timer that waits and what it waits for.
QList<QPair<QPointer<QTimer>, QString>> &pending()
{
    static QList<QPair<QPointer<QTimer>, QString>> list;
    return list;
}

void missed(const QString &what)
{
    QTest::qFail(qPrintable(QStringLiteral("DialogDriver: %1 never opened").arg(what)), __FILE__, __LINE__);
}

// Waits (every 10 ms, up to 5 s) for a modal window that `wanted` accepts,
// acts in it and closes it if it is still open; fails the test otherwise.
void await(const QString &what, std::function<bool(QWidget *)> wanted, std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    pending() << qMakePair(QPointer<QTimer>(timer), what);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, wanted, act, what]() {
        QWidget *w = QApplication::activeModalWidget();
        const bool there = w && wanted(w);
        if (!there && ++*tries < 500)
            return;
        timer->stop();
        timer->deleteLater();
        if (!there) {
            missed(what);
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

} // namespace

void onNextModal(std::function<void(QWidget *)> act)
{
    QWidget *before = QApplication::activeModalWidget();
    await(QStringLiteral("a modal window"), [before](QWidget *w) { return w != before; }, act);
}

void onModal(const QString &name, std::function<void(QWidget *)> act)
{
    await(QStringLiteral("the window %1").arg(name), [name](QWidget *w) { return w->objectName() == name; }, act);
}

void verifyNoWindowLeftOpen()
{
    // a window the test waited for and that never came
    QStringList never;
    for (const auto &p : pending())
        if (p.first && p.first->isActive()) {
            p.first->stop();
            p.first->deleteLater();
            never << p.second;
        }
    pending().clear();
    if (!never.isEmpty())
        missed(never.join(QStringLiteral(", ")));
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
