#pragma once
#include <QTest>

// Types any text (QTest::keyClicks takes Latin-1 only): one key event per
// character, as a keyboard layout would send it.
inline void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}
