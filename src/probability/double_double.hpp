#pragma once

// Double-double arithmetic: a value as the unevaluated sum hi + lo of two doubles, |lo| at
// most half an ulp of hi, after Dekker and Knuth. Every operation is a plain double operation
// (the build forbids fused multiply-add and extended precision), so the bits are the same
// everywhere. The products are exact only far from overflow and underflow (Veltkamp's split
// multiplies by 2^27 + 1). The operations are constexpr, so that tables of constants are
// formed at compile time by exactly the operations that would form them at run time.

namespace oskev::probability::elementary {

struct Wide {
  double hi;
  double lo;
};

// a + b exactly, for any a and b.
constexpr Wide two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, for |a| >= |b|.
constexpr Wide quick_two_sum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// Veltkamp's split of a into two halves of 26 bits each.
constexpr Wide split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

// a·b exactly (Dekker), for products far from overflow and underflow.
constexpr Wide two_product(double a, double b) {
  const double p = a * b;
  const Wide x = split(a);
  const Wide y = split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

constexpr Wide add(Wide a, Wide b) {
  Wide s = two_sum(a.hi, b.hi);
  const Wide t = two_sum(a.lo, b.lo);
  s.lo += t.hi;
  s = quick_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return quick_two_sum(s.hi, s.lo);
}

constexpr Wide negate(Wide a) { return {-a.hi, -a.lo}; }

constexpr Wide multiply(Wide a, Wide b) {
  Wide p = two_product(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return quick_two_sum(p.hi, p.lo);
}

constexpr Wide multiply(Wide a, double b) {
  Wide p = two_product(a.hi, b);
  p.lo += a.lo * b;
  return quick_two_sum(p.hi, p.lo);
}

// Long division to three quotient digits.
constexpr Wide divide(Wide a, Wide b) {
  const double q1 = a.hi / b.hi;
  Wide r = add(a, negate(multiply(b, q1)));
  const double q2 = r.hi / b.hi;
  r = add(r, negate(multiply(b, q2)));
  const double q3 = r.hi / b.hi;
  return add(quick_two_sum(q1, q2), Wide{q3, 0.0});
}

}  // namespace oskev::probability::elementary
