#pragma once
#include "ReportForm.h"

struct Forms;

// Report by products: good pieces and boxes per nomenclature group.
class TForm17 : public ReportForm {
    Q_OBJECT
public:
    explicit TForm17(Forms &forms, QWidget *parent = nullptr);

    Dataset t_Report; // parameters data1 (included), data2 (excluded)
    Dataset &query() override { return t_Report; }
};
