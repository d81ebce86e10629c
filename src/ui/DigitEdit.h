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
    // shown "0" instead of making it "0100".
    void focusInEvent(QFocusEvent *e) override;

private:
    void onRejected();
};
