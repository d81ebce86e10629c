#include "CatalogueList.h"

#include "db/Dataset.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

namespace CatalogueList {

namespace {
class SearchKeys : public QObject {
public:
    SearchKeys(QLineEdit *box, Dataset *ds, OtherKeys others) : QObject(box), m_ds(ds), m_others(others) {}

    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return QObject::eventFilter(o, e);
        auto *k = static_cast<QKeyEvent *>(e);
        switch (k->key()) {
        case Qt::Key_Up:
            if (m_ds->recNo() > 1)
                m_ds->setRecNo(m_ds->recNo() - 1);
            return true;
        case Qt::Key_Down:
            if (m_ds->recNo() < m_ds->recordCount())
                m_ds->setRecNo(m_ds->recNo() + 1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Backspace:
            return false;
        default:
            break;
        }
        if (m_others == OtherKeys::Keep)
            return false;
        // Typed characters still edit the text; everything else is swallowed.
        const QString t = k->text();
        const bool typed = !t.isEmpty() && t.at(0).isPrint()
            && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        return !typed;
    }

private:
    Dataset *m_ds;
    OtherKeys m_others;
};
} // namespace

void installSearchKeys(QLineEdit *box, Dataset *ds, OtherKeys others)
{
    box->installEventFilter(new SearchKeys(box, ds, others));
}

void centreOn(QWidget *w, const QWidget *owner)
{
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen *s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    else
        return;
    const QSize size = w->frameGeometry().size().isValid() ? w->frameGeometry().size() : w->sizeHint();
    w->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

} // namespace CatalogueList
