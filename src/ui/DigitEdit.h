#pragma once
#include <QLineEdit>

// A field that takes digits only: typed or pasted non-digits are refused,
// and so is a number beyond 32 bits; the user is told why.
class DigitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DigitEdit(QWidget *parent = nullptr);
    // The value; ok is false when the field is empty.
    int value(bool *ok = nullptr) const;

signals:
    void refused(const QString &why);

protected:
    // The whole text is selected on entering the field, so typing replaces a
    // shown "0" instead of making it "0100". Not once a key has been typed:
    // a grid opens its editor with the first key and hands that key on, and
    // selecting then would let the second key replace the first.
    void focusInEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;

private:
    void onRejected();
    bool m_selectPending = false;
};
