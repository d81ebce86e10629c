#include "CatalogueList.h"

#include "db/Dataset.h"
#include "ui/DatasetModel.h"
#include "ui/Widgets.h"

#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

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

Controls build(QDialog *list, DatasetModel *model, Dataset *ds, OtherKeys keys, QSize gridSize, Sizing sizing,
               const Handlers &handlers)
{
    Controls c;
    c.grid = new QTableView(list);
    c.grid->setObjectName(QStringLiteral("DBGrid1"));
    bindGrid(c.grid, model);
    c.grid->horizontalHeader()->setStretchLastSection(true);
    if (sizing == Sizing::Fixed)
        c.grid->setFixedSize(gridSize);
    else
        c.grid->setMinimumSize(gridSize);
    QObject::connect(c.grid, &QTableView::doubleClicked, list, handlers.open);

    c.search = new QLineEdit(list);
    c.search->setObjectName(QStringLiteral("Edit1"));
    QObject::connect(c.search, &QLineEdit::textChanged, list, handlers.searchChanged);
    installSearchKeys(c.search, ds, keys);

    c.add = Widgets::pushButton(list, "Button1", QStringLiteral("Добавить"));
    c.change = Widgets::pushButton(list, "Button2", QStringLiteral("Изменить"));
    c.remove = Widgets::pushButton(list, "Button3", QStringLiteral("Удалить"));
    c.exit = Widgets::pushButton(list, "Button4", QStringLiteral("Выход"));
    QObject::connect(c.add, &QPushButton::clicked, list, handlers.add);
    QObject::connect(c.change, &QPushButton::clicked, list, handlers.change);
    QObject::connect(c.remove, &QPushButton::clicked, list, handlers.remove);
    QObject::connect(c.exit, &QPushButton::clicked, list, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(c.add);
    buttons->addWidget(c.change);
    buttons->addWidget(c.remove);
    buttons->addStretch(1);
    buttons->addWidget(c.exit);
    auto *lay = new QVBoxLayout(list);
    lay->addWidget(c.grid);
    lay->addWidget(c.search);
    lay->addLayout(buttons);
    if (sizing == Sizing::Fixed)
        lay->setSizeConstraint(QLayout::SetFixedSize);
    return c;
}

int execOver(QDialog *list, Dataset &ds)
{
    ds.open();
    const int result = list->exec();
    ds.close();
    ds.setFilter({});
    return result;
}

void setMode(Mode mode, QPushButton *add, QPushButton *change, QPushButton *remove)
{
    const bool catalogue = mode == Mode::Catalogue;
    change->setText(catalogue ? QStringLiteral("Изменить") : QStringLiteral("Выбрать"));
    // one default button at a time: the old one gives it up first
    (catalogue ? change : add)->setDefault(false);
    (catalogue ? add : change)->setDefault(true);
    add->setVisible(catalogue);
    remove->setVisible(catalogue);
}

} // namespace CatalogueList
