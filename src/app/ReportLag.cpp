#include "ReportLag.h"

#include "db/DbSession.h"
#include "db/ReportConnection.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace ReportLag {

namespace {
// The windows that read through the report connection
const char *const kWindows[] = {"TForm18", "TForm19", "TForm27", "MonthOverviewWindow", "AuditReportWindow"};

bool isReportWindow(const QObject *o)
{
    const auto *w = qobject_cast<const QWidget *>(o);
    if (!w || !w->isWindow())
        return false;
    for (const char *name : kWindows)
        if (w->objectName() == QLatin1String(name))
            return true;
    return false;
}

QLabel *labelOf(QWidget *window)
{
    if (auto *l = window->findChild<QLabel *>(QLatin1String(LabelName), Qt::FindDirectChildrenOnly))
        return l;
    auto *l = new QLabel(window);
    l->setObjectName(QLatin1String(LabelName));
    l->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; color: #5a4500; padding: 2px 6px; }"));
    l->setToolTip(QStringLiteral("Отчёты читаются с резервного сервера, который отстаёт от основного: "
                                 "изменения после этого времени ещё не видны."));
    l->hide(); // a hidden widget takes no room in the layout
    if (auto *box = qobject_cast<QBoxLayout *>(window->layout()))
        box->insertWidget(0, l);
    else if (auto *grid = qobject_cast<QGridLayout *>(window->layout()))
        grid->addWidget(l, grid->rowCount(), 0, 1, qMax(1, grid->columnCount()));
    return l;
}

class Watcher : public QObject {
public:
    Watcher()
    {
        m_timer.setInterval(5000);
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            // not inside someone's transaction: the statement would run in it
            if (DbSession::anyTransaction())
                return;
            for (const QPointer<QWidget> &w : std::as_const(m_shown))
                if (w && w->isVisible())
                    update(w);
        });
        m_timer.start();
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && isReportWindow(o)) {
            auto *w = static_cast<QWidget *>(o);
            if (!m_shown.contains(w))
                m_shown << w;
            if (!DbSession::anyTransaction())
                update(w);
        }
        return false;
    }

private:
    QTimer m_timer;
    QList<QPointer<QWidget>> m_shown;
};

Watcher *g_watcher = nullptr;
} // namespace

void update(QWidget *window)
{
    const QString text = ReportConnection::lagText();
    QLabel *l = labelOf(window);
    l->setText(text);
    l->setVisible(!text.isEmpty());
}

void install()
{
    if (g_watcher)
        return;
    g_watcher = new Watcher;
    qApp->installEventFilter(g_watcher);
}

void uninstall()
{
    if (!g_watcher)
        return;
    qApp->removeEventFilter(g_watcher);
    delete g_watcher;
    g_watcher = nullptr;
}

} // namespace ReportLag
