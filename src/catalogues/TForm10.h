#pragma once
#include <QDialog>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
struct Forms;

// The operation editor: product, operation kind and product kind of one
// operation. Tag 1 adds; any other value saves a change of the current
// operation of Oper.
class TForm10 : public QDialog {
    Q_OBJECT
public:
    explicit TForm10(Forms &forms, QWidget *parent = nullptr);

    int Tag = 1;
    QGroupBox *GroupBox1;
    QLineEdit *Edit1; // "Марка изделия", filled by the products list
    QLineEdit *Edit2; // "Операция", filled by the kinds list
    QComboBox *ComboBox1; // "Вид": 0 "Готовая продукция", 1 "Заготовки"
    QPushButton *Button1, *Button2, *Button3, *Button4;

    // Kept from one opening to the next; the opener sets them for a change.
    qint64 productId = 0;
    int kindId = 0;
    // The operation the last save added (0 when it added none).
    int addedId = 0;

    // Named steps of the handlers
    void pickProduct();
    void pickKind();
    // Checks and writes; true when written (the window then closes).
    bool save();

    void Button1Click() { save(); }
    void Button3Click() { pickProduct(); }
    void Button4Click() { pickKind(); }

private:
    Forms &f;
};
