// A biquad filter in direct form I: RBJ's low-pass, high-pass and band-pass
// designs for the instruments, or given coefficients (the loudness meter's
// K-weighting stages).
#pragma once

#include <cmath>

namespace music {

class Biquad {
public:
    enum Kind { LowPass, HighPass, BandPass };
    Biquad(Kind kind, double hz, double q, double rate) {
        const double w = 2 * 3.14159265358979323846 * hz / rate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
        double b0, b1, b2;
        switch (kind) {
            case LowPass:
                b0 = (1 - c) / 2;
                b1 = 1 - c;
                b2 = b0;
                break;
            case HighPass:
                b0 = (1 + c) / 2;
                b1 = -(1 + c);
                b2 = b0;
                break;
            default:
                b0 = alpha;
                b1 = 0;
                b2 = -alpha;
                break;
        }
        const double a0 = 1 + alpha;
        b0_ = b0 / a0;
        b1_ = b1 / a0;
        b2_ = b2 / a0;
        a1_ = -2 * c / a0;
        a2_ = (1 - alpha) / a0;
    }
    // Coefficients normalised to a0 = 1.
    Biquad(double b0, double b1, double b2, double a1, double a2) : b0_(b0), b1_(b1), b2_(b2), a1_(a1), a2_(a2) {}

    double operator()(double x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}   // namespace music
