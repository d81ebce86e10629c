#include "Widgets.h"

#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace Widgets {

QPushButton *pushButton(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *b = named<QPushButton>(parent, objectName, caption);
    b->setAutoDefault(false);
    return b;
}

QLineEdit *shownField(QWidget *parent, const char *objectName, int minWidth)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(objectName));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setMinimumWidth(minWidth);
    return e;
}

SaveCancel saveCancelLayout(QDialog *editor, QWidget *body, const QString &saveCaption,
                            std::function<void()> onSave)
{
    auto *save = named<QPushButton>(editor, "Button1", saveCaption);
    save->setDefault(true);
    auto *cancel = pushButton(editor, "Button2", QStringLiteral("Отмена"));
    QObject::connect(save, &QPushButton::clicked, editor, [onSave = std::move(onSave)]() { onSave(); });
    QObject::connect(cancel, &QPushButton::clicked, editor, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(save);
    row->addWidget(cancel);
    auto *lay = new QVBoxLayout(editor);
    lay->addWidget(body);
    lay->addLayout(row);
    lay->setSizeConstraint(QLayout::SetFixedSize);
    return {save, cancel};
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

namespace {
class CentreAndFocus : public QObject {
public:
    CentreAndFocus(QDialog *dialog, std::function<const QWidget *()> owner, QWidget *focus, Refocus when)
        : QObject(dialog), m_dialog(dialog), m_owner(std::move(owner)), m_focus(focus), m_when(when)
    {
    }

    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_dialog) {
            if (e->type() == QEvent::Show) {
                centreOn(m_dialog, m_owner ? m_owner() : nullptr);
                focus();
            } else if (e->type() == QEvent::ActivationChange && m_when == Refocus::OnShowAndActivation
                       && m_dialog->isActiveWindow()) {
                focus();
            }
        }
        return QObject::eventFilter(o, e);
    }

private:
    void focus()
    {
        if (m_focus && m_focus->isVisible())
            m_focus->setFocus();
    }
    QDialog *m_dialog;
    std::function<const QWidget *()> m_owner;
    QPointer<QWidget> m_focus;
    Refocus m_when;
};
} // namespace

void centreAndFocus(QDialog *dialog, std::function<const QWidget *()> owner, QWidget *focus, Refocus when)
{
    dialog->installEventFilter(new CentreAndFocus(dialog, std::move(owner), focus, when));
}

void showDayOff(QCheckBox *box)
{
    box->setStyleSheet(box->isChecked()
                           ? QStringLiteral("QCheckBox { background-color: rgb(255,0,0); color: white; font-weight: bold; padding: 2px; }")
                           : QStringLiteral("QCheckBox { padding: 2px; }"));
}

} // namespace Widgets
