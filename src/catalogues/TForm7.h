#pragma once
#include <QDialog>
#include <QLineEdit>

class Dataset;
class QComboBox;
class QGroupBox;
class QPushButton;
struct Forms;

// A decimal field: digits, Backspace and one decimal point; "." and ","
// both enter as "."; every other typed character is discarded.
class DecimalEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DecimalEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

// The product editor: brand, factor and nomenclature group of one product.
class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(Forms &forms, QWidget *parent = nullptr);

    int Tag = 1;           // 1 = add; anything else saves as a change
    qint64 productId = 0;  // the list's current product when the editor opened
    QGroupBox *GroupBox1;
    QLineEdit *Edit1;      // "Марка"
    DecimalEdit *Edit2;    // "Расценка" (massa)
    QComboBox *cb_item;    // nomenclature group
    QPushButton *Button1, *Button2;
    Dataset *item;         // level-2 classifier items, read while the editor is open

    // The group chosen in cb_item (0 when none) and setting it by key.
    qint64 group() const;
    void setGroup(const QVariant &id);
    // A stored massa as the editor shows it: exact, without trailing zeros.
    static QString massaText(const QVariant &massa);

    // Saves; false (and nothing written) when refused.
    bool save();
    void Button1Click();

private:
    void fillGroups();
    QVariant m_groupKey; // kept across re-reads of item
    Forms &f;
};
