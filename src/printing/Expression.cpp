#include "Expression.h"

#include <QDate>
#include <QMetaType>
#include <stdexcept>

namespace Printing {

bool Value::isNumberType(QMetaType t)
{
    switch (t.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

static bool isDateType(QMetaType t) { return t.id() == QMetaType::QDate || t.id() == QMetaType::QDateTime; }

Value Value::read(const QVariant &v, Kind as)
{
    if (!v.isValid() || v.isNull() || as == Null)
        return Value();
    if (isDateType(v.metaType()))
        return string(v.toDate().toString(QStringLiteral("dd.MM.yyyy")));
    if (as == Number) {
        Decimal d;
        if (Decimal::fromVariant(v, &d))
            return number(d);
    }
    return string(v.toString());
}

Value Value::fromVariant(const QVariant &v, QMetaType declared)
{
    const QMetaType t = declared.isValid() ? declared : v.metaType();
    return read(v, isNumberType(t) ? Number : Text);
}

bool Value::sameAs(const Value &o) const
{
    if (kind != o.kind)
        return false;
    switch (kind) {
    case Null: return true;
    case Number: return num == o.num;
    case Text: return text == o.text;
    }
    return false;
}

Decimal Value::toDecimal() const
{
    if (kind == Number)
        return num;
    Decimal d;
    if (kind == Text)
        Decimal::parse(text, &d);
    return d;
}

bool Value::isTrue() const
{
    switch (kind) {
    case Null: return false;
    case Number: return !num.isZero();
    case Text: return !text.isEmpty();
    }
    return false;
}

QString Value::format(const QString &mask) const
{
    if (kind == Null)
        return QString();
    if (kind == Text)
        return text;
    if (mask.isEmpty())
        return num.toString();
    const int point = mask.indexOf(QLatin1Char('.'));
    return num.toFixed(point < 0 ? 0 : mask.size() - point - 1);
}

// ---------------------------------------------------------------------------

struct Expression::Node {
    enum Type { Literal, Field, Page, Sum, If, Str, Neg, Add, Sub, Mul, Div, Cmp };
    Type type = Literal;
    Value literal;
    QString name;  // field name; comparison operator
    int sum = -1;  // index of a Sum node
    QVector<std::shared_ptr<const Node>> args;
};

namespace {

using NodeP = std::shared_ptr<Expression::Node>;

class Parser {
public:
    Parser(const QString &text, QVector<std::shared_ptr<const Expression::Node>> &sums)
        : t_(text), sums_(sums) {}

    NodeP parseAll()
    {
        NodeP n = comparison();
        skip();
        if (i_ < t_.size())
            fail(QStringLiteral("unexpected '%1'").arg(t_.mid(i_)));
        return n;
    }

private:
    [[noreturn]] void fail(const QString &why) const
    {
        throw std::invalid_argument(QStringLiteral("Report expression \"%1\": %2").arg(t_, why).toStdString());
    }
    void skip()
    {
        while (i_ < t_.size() && t_[i_].isSpace())
            ++i_;
    }
    bool eat(const QString &tok)
    {
        skip();
        if (t_.mid(i_, tok.size()) == tok) {
            i_ += tok.size();
            return true;
        }
        return false;
    }
    void expect(const char *tok)
    {
        if (!eat(QString::fromLatin1(tok)))
            fail(QStringLiteral("'%1' expected").arg(QString::fromLatin1(tok)));
    }
    static NodeP node(Expression::Node::Type type, QVector<std::shared_ptr<const Expression::Node>> args = {})
    {
        auto n = std::make_shared<Expression::Node>();
        n->type = type;
        n->args = std::move(args);
        return n;
    }

    NodeP comparison()
    {
        NodeP left = additive();
        for (const char *op : {"<>", "<=", ">=", "=", "<", ">"}) {
            if (eat(QString::fromLatin1(op))) {
                NodeP n = node(Expression::Node::Cmp, {left, additive()});
                n->name = QString::fromLatin1(op);
                return n;
            }
        }
        return left;
    }
    NodeP additive()
    {
        NodeP left = multiplicative();
        for (;;) {
            if (eat(QStringLiteral("+")))
                left = node(Expression::Node::Add, {left, multiplicative()});
            else if (eat(QStringLiteral("-")))
                left = node(Expression::Node::Sub, {left, multiplicative()});
            else
                return left;
        }
    }
    NodeP multiplicative()
    {
        NodeP left = unary();
        for (;;) {
            if (eat(QStringLiteral("*")))
                left = node(Expression::Node::Mul, {left, unary()});
            else if (eat(QStringLiteral("/")))
                left = node(Expression::Node::Div, {left, unary()});
            else
                return left;
        }
    }
    NodeP unary()
    {
        if (eat(QStringLiteral("-")))
            return node(Expression::Node::Neg, {unary()});
        return primary();
    }
    NodeP primary()
    {
        skip();
        if (i_ >= t_.size())
            fail(QStringLiteral("unexpected end"));
        const QChar c = t_[i_];
        if (eat(QStringLiteral("("))) {
            NodeP n = comparison();
            expect(")");
            return n;
        }
        if (c == QLatin1Char('\'')) {
            const int end = t_.indexOf(QLatin1Char('\''), i_ + 1);
            if (end < 0)
                fail(QStringLiteral("unterminated text"));
            NodeP n = node(Expression::Node::Literal);
            n->literal = Value::string(t_.mid(i_ + 1, end - i_ - 1));
            i_ = end + 1;
            return n;
        }
        if (c.isDigit()) {
            int j = i_;
            while (j < t_.size() && (t_[j].isDigit() || t_[j] == QLatin1Char('.')))
                ++j;
            Decimal d;
            if (!Decimal::parse(t_.mid(i_, j - i_), &d))
                fail(QStringLiteral("bad number"));
            i_ = j;
            NodeP n = node(Expression::Node::Literal);
            n->literal = Value::number(d);
            return n;
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i_;
            while (j < t_.size() && (t_[j].isLetterOrNumber() || t_[j] == QLatin1Char('_') || t_[j] == QLatin1Char('.')))
                ++j;
            const QString name = t_.mid(i_, j - i_);
            i_ = j;
            const QString upper = name.toUpper();
            if (eat(QStringLiteral("("))) {
                QVector<std::shared_ptr<const Expression::Node>> args;
                if (!eat(QStringLiteral(")"))) {
                    do
                        args << comparison();
                    while (eat(QStringLiteral(",")));
                    expect(")");
                }
                auto want = [&](int n) {
                    if (args.size() != n)
                        fail(QStringLiteral("%1 takes %2 arguments").arg(name).arg(n));
                };
                if (upper == QLatin1String("IF")) {
                    want(3);
                    return node(Expression::Node::If, args);
                }
                if (upper == QLatin1String("STR")) {
                    want(1);
                    return node(Expression::Node::Str, args);
                }
                if (upper == QLatin1String("SUM")) {
                    want(1);
                    NodeP n = node(Expression::Node::Sum, args);
                    n->sum = sums_.size();
                    sums_ << n;
                    return n;
                }
                fail(QStringLiteral("unknown function %1").arg(name));
            }
            if (upper == QLatin1String("PAGENUMBER"))
                return node(Expression::Node::Page);
            NodeP n = node(Expression::Node::Field);
            n->name = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1); // "t_Report.fio" reads fio
            return n;
        }
        fail(QStringLiteral("unexpected '%1'").arg(c));
    }

    QString t_;
    int i_ = 0;
    QVector<std::shared_ptr<const Expression::Node>> &sums_;
};

Value evalNode(const Expression::Node &n, const Expression::Context &c)
{
    using N = Expression::Node;
    switch (n.type) {
    case N::Literal:
        return n.literal;
    case N::Field:
        return c.field ? c.field(n.name) : Value();
    case N::Page:
        return Value::number(Decimal::fromInt(c.page));
    case N::Sum:
        return Value::number(c.sums && n.sum < c.sums->size() ? c.sums->at(n.sum) : Decimal());
    case N::If:
        return evalNode(*n.args[0], c).isTrue() ? evalNode(*n.args[1], c) : evalNode(*n.args[2], c);
    case N::Str: {
        const Value v = evalNode(*n.args[0], c);
        return Value::string(v.kind == Value::Number ? v.num.toString() : v.text);
    }
    case N::Neg:
        return Value::number(-evalNode(*n.args[0], c).toDecimal());
    case N::Add: {
        const Value a = evalNode(*n.args[0], c), b = evalNode(*n.args[1], c);
        if (a.kind == Value::Text || b.kind == Value::Text)
            return Value::string(a.format() + b.format());
        return Value::number(a.toDecimal() + b.toDecimal());
    }
    case N::Sub:
        return Value::number(evalNode(*n.args[0], c).toDecimal() - evalNode(*n.args[1], c).toDecimal());
    case N::Mul:
        return Value::number(evalNode(*n.args[0], c).toDecimal() * evalNode(*n.args[1], c).toDecimal());
    case N::Div:
        return Value::number(evalNode(*n.args[0], c).toDecimal() / evalNode(*n.args[1], c).toDecimal());
    case N::Cmp: {
        const Value a = evalNode(*n.args[0], c), b = evalNode(*n.args[1], c);
        int r;
        if (a.kind == Value::Text || b.kind == Value::Text)
            r = QString::compare(a.format(), b.format());
        else
            r = a.toDecimal().compare(b.toDecimal());
        bool t = false;
        if (n.name == QLatin1String("="))
            t = r == 0;
        else if (n.name == QLatin1String("<>"))
            t = r != 0;
        else if (n.name == QLatin1String("<"))
            t = r < 0;
        else if (n.name == QLatin1String(">"))
            t = r > 0;
        else if (n.name == QLatin1String("<="))
            t = r <= 0;
        else
            t = r >= 0;
        return Value::number(Decimal::fromInt(t ? 1 : 0));
    }
    }
    return Value();
}

} // namespace

Expression::Expression(const QString &text)
{
    if (text.trimmed().isEmpty())
        return;
    Parser p(text, sums_);
    root_ = p.parseAll();
}

Value Expression::eval(const Context &c) const { return root_ ? evalNode(*root_, c) : Value(); }

Decimal Expression::sumArgument(int i, const Context &c) const
{
    return evalNode(*sums_.at(i)->args.at(0), c).toDecimal();
}

} // namespace Printing
