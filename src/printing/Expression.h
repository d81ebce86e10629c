#pragma once
#include "db/Decimal.h"

#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace Printing {

// A value in a report: nothing (an empty database value), a number or a text.
struct Value {
    enum Kind { Null, Number, Text };
    Kind kind = Null;
    Decimal num;
    QString text; // a text's content

    static Value number(const Decimal &d) { Value v; v.kind = Number; v.num = d; return v; }
    static Value string(const QString &s) { Value v; v.kind = Text; v.text = s; return v; }
    // A database value read as the column declares it: a numeric column gives
    // numbers (exact decimals arrive as text), a text column texts exactly as
    // stored however much they look like numbers ("0105", "2E3"), a date its
    // day-first text. Without a declared type the value's own type decides.
    static Value fromVariant(const QVariant &v, QMetaType declared = QMetaType());
    // The same with the kind given (Number or Text) whatever the column says.
    static Value read(const QVariant &v, Kind as);
    static bool isNumberType(QMetaType t);

    // Same kind and same stored content (a group break compares these).
    bool sameAs(const Value &o) const;

    // Arithmetic reading: nothing counts as 0, a text that is no number too.
    Decimal toDecimal() const;
    bool isTrue() const;
    // Printed form. Masks "#0", "#0.00", "#0.000" (any count of places after
    // the point) round half away from zero; without a mask a number prints in
    // its shortest form (12.50 as 12.5, 200.00 as 200). A text prints as it
    // is, mask or not.
    QString format(const QString &mask = QString()) const;
};

// A report expression: fields (also qualified, "t_Report.fio"), numbers,
// 'texts', + - * /, comparisons = <> < > <= >=, IF(c,a,b), STR(n), sum(x)
// and PAGENUMBER. "+" adds numbers and joins as soon as one side is a text.
// sum(x) is not computed here: the report keeps one running sum per sum(...)
// of the expression and hands them in when the expression is printed.
class Expression {
public:
    Expression() = default;
    // Throws std::invalid_argument for text that is no expression.
    explicit Expression(const QString &text);

    struct Context {
        std::function<Value(const QString &field)> field;
        const QVector<Decimal> *sums = nullptr; // one per sum(...), in order
        int page = 0;
    };

    bool isEmpty() const { return !root_; }
    int sumCount() const { return sums_.size(); }
    Value eval(const Context &c) const;
    // The value that sum number `i` adds for the current row.
    Decimal sumArgument(int i, const Context &c) const;

    struct Node;

private:
    std::shared_ptr<const Node> root_;
    QVector<std::shared_ptr<const Node>> sums_;
};

} // namespace Printing
