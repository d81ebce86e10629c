#pragma once
#include <QDate>
#include <QList>
#include <QString>

// Builders for the few rows a test needs. Each returns the new row's id.
namespace Seed {

int worker(const QString &fio, const QString &position = QString());
int group(const QString &name);                   // a level-2 nomenclature group
int product(const QString &marka, int groupId, double massa = 1.0);
int kind(const QString &vid);
// An operation of a product with norms of the given prices (norma = 10, 11, ...).
int operation(int productId, int kindId, int naimen, const QList<double> &prices);

struct Entry {
    QDate data;
    int shift = 1;
    int worker = 0;
    int product = 0;
    int operation = 0;
    int kolVo = 10;
    int brak = 0;
    double cena = 1.0;
    int time = 8;
    int color = 0;
    QString ok = QStringLiteral("no");
};
int entry(const Entry &e);

// A shift line of h_tabel with the given day cells (day -> hours).
int shiftLine(int worker, int shift, int month, int year, const QList<QPair<int, int>> &days);

} // namespace Seed
