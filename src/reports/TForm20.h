#pragma once
#include "ReportForm.h"

struct Forms;

// Detailed report by workers: pieces, defects and earnings per product, kind and colour.
class TForm20 : public ReportForm {
    Q_OBJECT
public:
    explicit TForm20(Forms &forms, QWidget *parent = nullptr);

    Dataset w_Report; // parameters data1 (included), data2 (excluded)
    Dataset &query() override { return w_Report; }
};
