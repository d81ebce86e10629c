#pragma once
#include <QString>
#include <QVariant>

// An exact decimal number with twelve places after the point: money and
// prices travel in it from the database or the editor to the statement and
// into report sums without binary floating point, so 0.1 three times is 0.3
// and thousands of rows do not drift.
class Decimal {
public:
    Decimal() = default;
    static Decimal fromInt(qint64 v);
    // Decimal text ("-12.50", "1e3", "1,5"); false when it is not a number.
    static bool parse(const QString &text, Decimal *out);
    // Database values: integers exactly, texts parsed, doubles through their
    // shortest 15-digit decimal form (what the server printed).
    static bool fromVariant(const QVariant &v, Decimal *out);

    Decimal operator+(const Decimal &o) const { return raw(v_ + o.v_); }
    Decimal operator-(const Decimal &o) const { return raw(v_ - o.v_); }
    Decimal operator*(const Decimal &o) const;
    // Division by zero gives zero (a report prints, it does not stop).
    Decimal operator/(const Decimal &o) const;
    Decimal operator-() const { return raw(-v_); }
    Decimal &operator+=(const Decimal &o) { v_ += o.v_; return *this; }
    int compare(const Decimal &o) const { return v_ < o.v_ ? -1 : (v_ > o.v_ ? 1 : 0); }
    bool operator==(const Decimal &o) const { return v_ == o.v_; }
    bool isZero() const { return v_ == 0; }

    // Rounded half away from zero to `places` decimals, always that many.
    QString toFixed(int places) const;
    // Shortest form: no trailing zeros, no point for whole numbers.
    QString toString() const;

private:
    using Int = __int128;
    static constexpr int Places = 12;
    static Decimal raw(Int v) { Decimal d; d.v_ = v; return d; }
    static Int scale(int places);
    Int v_ = 0;
};

// The report engine's name for it
namespace Printing {
using ::Decimal;
}
