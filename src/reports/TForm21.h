#pragma once
#include "ReportForm.h"

struct Forms;

// Detailed report by products: pieces, defects, boxes and earnings per product, kind and colour.
class TForm21 : public ReportForm {
    Q_OBJECT
public:
    explicit TForm21(Forms &forms, QWidget *parent = nullptr);

    Dataset i_Report; // parameters data1 (included), data2 (excluded)
    Dataset &query() override { return i_Report; }
};
