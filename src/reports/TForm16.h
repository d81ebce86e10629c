#pragma once
#include "ReportForm.h"

struct Forms;

// Report by workers: earnings per worker and nomenclature group, with the regional coefficient.
class TForm16 : public ReportForm {
    Q_OBJECT
public:
    explicit TForm16(Forms &forms, QWidget *parent = nullptr);

    Dataset t_Report; // parameters data1 (included), data2 (excluded)
    Dataset &query() override { return t_Report; }
};
