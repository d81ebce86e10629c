#pragma once
#include <QDialog>

class Dataset;
class QAbstractItemModel;
class QPushButton;
class QTableView;
class NormModel;
struct Forms;

// The norms of one operation in an editable grid. The empty row below the
// last norm begins a new one; every cell is stored as soon as it is left.
class TForm22 : public QDialog {
    Q_OBJECT
public:
    explicit TForm22(Forms &forms, QWidget *parent = nullptr);

    QTableView *DBGrid1;
    QAbstractItemModel *gridModel; // the norms and the empty row below them
    QPushButton *Button1; // "Сохранить": default and cancel button
    QPushButton *Button2; // "Удалить"
    Dataset *norm;        // the operation's norms by norma

    int operId = 0; // the operation whose norms are shown

    // Reads the norms of the operation and shows the window modally.
    void openFor(int operId);
    void readNorms(); // the table read again, the cursor kept on its norm

    // Named steps of the handlers
    // Stores a cell as typed (field norma, price or prize; row past the last
    // norm begins a new one); false with a message for a bad number.
    bool storeCell(int row, const QString &field, const QString &typed);
    void deleteNorm(int row);      // never the last norm
    void saveAndClose();

    void Button1Click() { saveAndClose(); }
    void Button2Click();

    // "12.5" -> "12.50", "1.2345" -> "1.235"
    static QString priceText(const QVariant &price);

public slots:
    // Esc and the window's close box act as "Сохранить".
    void reject() override { saveAndClose(); }

private:
    bool storeValue(int row, int column, double number, const QString &value);
    void commitPendingEdit();
    NormModel *m_norms;
    Forms &f;
};
