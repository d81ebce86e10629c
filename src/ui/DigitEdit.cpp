#include "DigitEdit.h"

#include <QKeyEvent>
#include <QTimer>
#include <QToolTip>
#include <QValidator>
#include <climits>

namespace {
class DigitValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (const QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        if (input.isEmpty())
            return Acceptable;
        bool ok = false;
        const qlonglong v = input.toLongLong(&ok);
        if (!ok || v > INT_MAX)
            return Invalid;
        return Acceptable;
    }
};
} // namespace

DigitEdit::DigitEdit(QWidget *parent) : QLineEdit(parent)
{
    setValidator(new DigitValidator(this));
    connect(this, &QLineEdit::inputRejected, this, &DigitEdit::onRejected);
}

void DigitEdit::focusInEvent(QFocusEvent *e)
{
    QLineEdit::focusInEvent(e);
    // after the event: a mouse press that gave the focus places the cursor first
    m_selectPending = true;
    QTimer::singleShot(0, this, [this]() {
        if (m_selectPending && hasFocus())
            selectAll();
        m_selectPending = false;
    });
}

void DigitEdit::keyPressEvent(QKeyEvent *e)
{
    m_selectPending = false;
    QLineEdit::keyPressEvent(e);
}

void DigitEdit::inputMethodEvent(QInputMethodEvent *e)
{
    m_selectPending = false;
    QLineEdit::inputMethodEvent(e);
}

void DigitEdit::onRejected()
{
    const QString why = QStringLiteral("Допускаются только цифры; число не больше 2147483647.");
    QToolTip::showText(mapToGlobal(QPoint(0, height())), why, this);
    emit refused(why);
}

int DigitEdit::value(bool *ok) const
{
    bool good = false;
    const int v = text().toInt(&good);
    if (ok)
        *ok = good;
    return good ? v : 0;
}
