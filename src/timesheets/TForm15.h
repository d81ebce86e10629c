#pragma once
#include "db/Dataset.h"
#include "printing/Report.h"

#include <QWidget>

struct Forms;

// The printed timesheet: the month's hours per worker and day over every
// timesheet line, as a banded report on the query H_Tabel.
class TForm15 : public QWidget {
    Q_OBJECT
public:
    explicit TForm15(Forms &forms, QWidget *parent = nullptr);

    Dataset H_Tabel; // parameters mnth, yea
    Printing::Layout QuickRep1; // QRLabel33 holds the heading

    // Sets mnth/yea, opens H_Tabel, puts `heading` into QRLabel33 (e.g.
    // "Март 2024 г."), prepares the report and shows its preview, then
    // closes H_Tabel.
    void printMonth(int month, int year, const QString &heading);
    // The report laid out over H_Tabel as it stands.
    Printing::Document prepare();

private:
    Forms &f;
};
