#pragma once

#include "probability/double_double.hpp"

// The regularised incomplete beta function for whole parameters, the binomial distribution's
// tails (P(X >= k) = I_p(k, n - k + 1) for X binomial with n trials), in logarithms and to
// twice the working precision, on the project's own elementary functions: the same bits on
// every platform. What the exact intervals of a binomial probability solve for.

namespace oskev::probability {

class IncompleteBeta {
 public:
  // I_y(a, b) for whole a and b from 1 to 2^52.
  IncompleteBeta(double a, double b);

  struct Value {
    elementary::Wide log;  // ln I_y(a, b), to about 2^-100 absolute where I_y(a, b) is not tiny
    double log_slope;      // d ln I_y(a, b) / dy, the density over I_y(a, b)
  };

  // At 0 < y < 1, with y and 1 - y both given exactly (one of them is in general not a double).
  Value at(elementary::Wide y, elementary::Wide one_minus_y) const;

 private:
  double a_;
  double b_;
  elementary::Wide log_choose_a_;  // ln C(a + b - 1, a), of y^a (1 - y)^b / (a B(a, b))
  elementary::Wide log_choose_b_;  // ln C(a + b - 1, b), of y^a (1 - y)^b / (b B(a, b))
};

}  // namespace oskev::probability
