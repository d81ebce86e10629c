#pragma once
#include "db/ChangeNotice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QVector>
#include <functional>

class ChangeListener;
class QTableView;
class QTimer;
class QWidget;

// Keeps one window in step with the other workstations: a change notice that
// concerns what the window shows makes it read its rows again, soon but not
// at once, so a burst of notices gives one re-read (and never more than one
// per MinInterval). A window not showing reads again when it is shown next;
// one with an editor or another modal window open over it waits until that
// closes. The current row (by its key), the scroll position and the filter
// survive the re-read. A re-read that fails keeps the rows and tells the
// user once, not once per notice.
class LiveRefresh : public QObject {
    Q_OBJECT
public:
    using Touches = std::function<bool(const ChangeNotice::Change &)>;
    using Reread = std::function<void()>; // throws DbError; keeps its rows when it does

    static constexpr int Delay = 60;        // ms from the first notice to the re-read
    static constexpr int MinInterval = 550; // ms between two re-reads of one window

    // Nothing happens when `listener` is null (no connection).
    LiveRefresh(QWidget *window, ChangeListener *listener, Touches touches, Reread reread);

    // A list over one grid that is read again when a notice names one of
    // `tables`, keeping its place (rows found again by `keyField`).
    static LiveRefresh *forList(QWidget *window, ChangeListener *listener, QVector<ChangeNotice::Table> tables,
                                QTableView *view, const QString &keyField);

    // A grid whose current row (found again by `keyField`) and scroll
    // position a re-read keeps. Its model must be a DatasetModel.
    void keepPlace(QTableView *view, const QString &keyField);
    // Asks for a re-read as a concerning notice does.
    void request();
    // Runs a re-read of the window's own (after a closing mark, a save,
    // "Обновить") keeping the current rows, found by their keys, and the
    // scroll positions, as a notice's re-read does. A DbError from `reread`
    // goes to the caller.
    void keepingPlace(const std::function<void()> &reread);

    int rereads() const { return m_rereads; }
    bool pending() const { return m_pending; }

signals:
    void reread(); // after each successful re-read

private:
    bool eventFilter(QObject *o, QEvent *e) override;
    void schedule();
    void run();
    bool blocked() const;

    struct Place {
        QPointer<QTableView> view;
        QString key;
    };
    QWidget *m_window;
    Touches m_touches;
    Reread m_reread;
    QVector<Place> m_places;
    QTimer *m_timer;
    QElapsedTimer m_last;
    bool m_pending = false;
    bool m_errorShown = false;
    int m_rereads = 0;
};
