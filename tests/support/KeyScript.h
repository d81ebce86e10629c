#pragma once
#include <QApplication>
#include <QDialog>
#include <QDebug>
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Keys typed by a user, one after another, into whatever has the focus.
// Each step waits until its window is the active one, so a step that opens
// a modal window (and so does not return until it closes) is followed by
// the next step inside that window. Keys that are neither letters nor
// digits are counted: the presses a user makes besides the search text and
// the figures themselves.
class KeyScript {
public:
    struct Step {
        QString window;         // objectName of the window that must be active
        Qt::Key key = Qt::Key_unknown;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        QString text;           // letters or digits typed (key unused)
    };
    static Step key(const QString &window, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { return {window, k, m, {}}; }
    static Step type(const QString &window, const QString &t) { return {window, Qt::Key_unknown, Qt::NoModifier, t}; }

    explicit KeyScript(QList<Step> steps) : m_state(std::make_shared<State>()) { m_state->steps = std::move(steps); }

    // Starts typing; returns at once. done() tells when every step ran.
    void start() { schedule(m_state, 0); }
    bool done() const { return m_state->next >= m_state->steps.size() && m_state->running == 0; }
    int counted() const { return m_state->counted; }
    QString failure() const { return m_state->failure; }

private:
    struct State {
        QList<Step> steps;
        int next = 0;
        int running = 0;
        int counted = 0;
        int waits = 0;
        QString failure;
    };
    static void schedule(std::shared_ptr<State> s, int ms)
    {
        QTimer::singleShot(ms, [s]() { run(s); });
    }
    static void run(std::shared_ptr<State> s)
    {
        if (s->next >= s->steps.size() || !s->failure.isEmpty())
            return;
        const Step st = s->steps.at(s->next);
        QWidget *active = QApplication::activeWindow();
        QWidget *target = QApplication::focusWidget();
        if (!active || active->objectName() != st.window || !target) {
            // A window manager gives the focus back to the window under a
            // closed one; the offscreen platform needs to be asked.
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName() == st.window && w != active
                    && (!QApplication::activeModalWidget() || QApplication::activeModalWidget() == w))
                    w->activateWindow();
            if (++s->waits > 300) {
                s->failure = QStringLiteral("step %1: window %2 never became active (active: %3)")
                                 .arg(s->next)
                                 .arg(st.window, active ? active->objectName() : QStringLiteral("none"));
                s->next = s->steps.size();
                // Let every open window go, so the typing ends.
                while (QWidget *m = QApplication::activeModalWidget()) {
                    if (auto *d = qobject_cast<QDialog *>(m))
                        d->reject();
                    else
                        m->close();
                    if (QApplication::activeModalWidget() == m)
                        break;
                }
                return;
            }
            schedule(s, 10);
            return;
        }
        s->waits = 0;
        ++s->next;
        // The next step is on its way before this one may open a window.
        schedule(s, 20);
        ++s->running;
        if (qEnvironmentVariableIsSet("KEYSCRIPT_DEBUG"))
            qDebug() << "step" << s->next - 1 << active->objectName() << target->objectName() << st.key << st.text;
        if (st.text.isEmpty()) {
            ++s->counted;
            QTest::keyClick(target, st.key, st.mods);
        } else {
            for (const QChar c : st.text) {
                QPointer<QWidget> to = QApplication::focusWidget() ? QApplication::focusWidget() : target;
                QTest::sendKeyEvent(QTest::Click, to, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
        --s->running;
    }
    std::shared_ptr<State> m_state;
};
