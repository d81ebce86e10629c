#pragma once
#include <QApplication>
#include <QEvent>
#include <QMap>
#include <QPointer>
#include <QSize>
#include <QTest>
#include <QWidget>

// Counts the layout, paint, resize and show/hide events that a window and
// every widget inside it receive while it lives: an idle window receives
// next to none, one that lays itself out again and again receives hundreds.
class WindowEvents : public QObject {
public:
    explicit WindowEvents(QWidget *window) : window_(window) { qApp->installEventFilter(this); }
    ~WindowEvents() override { qApp->removeEventFilter(this); }

    int total() const
    {
        int n = 0;
        for (int c : counts_)
            n += c;
        return n;
    }
    void reset() { counts_.clear(); }
    // "Paint: 120, Hide: 40, ..." for a failure message
    QString summary() const
    {
        QStringList parts;
        for (auto it = counts_.cbegin(); it != counts_.cend(); ++it)
            parts << QStringLiteral("%1: %2").arg(name(it.key())).arg(it.value());
        return parts.join(QStringLiteral(", "));
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::Paint:
        case QEvent::LayoutRequest:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::UpdateRequest:
            if (window_ && o->isWidgetType() && (o == window_ || window_->isAncestorOf(static_cast<QWidget *>(o))))
                ++counts_[e->type()];
            break;
        default:
            break;
        }
        return false;
    }

private:
    static QString name(QEvent::Type t)
    {
        switch (t) {
        case QEvent::Paint: return QStringLiteral("Paint");
        case QEvent::LayoutRequest: return QStringLiteral("LayoutRequest");
        case QEvent::Resize: return QStringLiteral("Resize");
        case QEvent::Show: return QStringLiteral("Show");
        case QEvent::Hide: return QStringLiteral("Hide");
        case QEvent::UpdateRequest: return QStringLiteral("UpdateRequest");
        default: return QString::number(int(t));
        }
    }
    QPointer<QWidget> window_;
    QMap<QEvent::Type, int> counts_;
};

// Steps `window` through `sizes`, letting it settle a moment at each, and
// returns the most events it received while left alone at one of them, with
// where and which ("1000x753: Hide: 996, Show: 996, ...").
inline QPair<int, QString> busiestSize(QWidget *window, const QList<QSize> &sizes)
{
    WindowEvents events(window);
    QPair<int, QString> worst{0, QString()};
    for (const QSize &size : sizes) {
        window->resize(size);
        QTest::qWait(10);
        events.reset();
        QTest::qWait(15);
        if (events.total() > worst.first)
            worst = {events.total(), QStringLiteral("%1x%2: %3").arg(size.width()).arg(size.height()).arg(events.summary())};
    }
    return worst;
}

// Window sizes around those where a page shown to the width or as a whole
// fits its window exactly, one scroll bar more or less: heights stepped at one
// width and widths stepped at one height, finer than a scroll bar is wide.
inline QList<QSize> pageEdgeSizes(int width, int height)
{
    QList<QSize> sizes;
    for (int h = height - 300; h <= height + 300; h += 3)
        sizes << QSize(width, h);
    for (int w = width - 300; w <= width + 300; w += 3)
        sizes << QSize(w, height);
    return sizes;
}
