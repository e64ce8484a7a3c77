#include "analysis/normality.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "analysis/power_scale.h"

namespace lumera::analysis {
namespace {

// c[0] + c[1] x + ... by Horner's rule.
template <std::size_t N>
double poly(const double (&c)[N], double x) {
    double r = c[N - 1];
    for (std::size_t i = N - 1; i-- > 0;) r = r * x + c[i];
    return r;
}

constexpr double kInvSqrt2 = 0.70710678118654752440;

// Royston (1992; 1995, AS R94): coefficients a_1..a_n (a_i = -a_{n+1-i}).
std::vector<double> shapiroWilkCoefficients(std::size_t n) {
    std::vector<double> a(n);
    if (n == 3) {
        a[0] = -kInvSqrt2;
        a[1] = 0;
        a[2] = kInvSqrt2;
        return a;
    }
    const double dn = static_cast<double>(n);
    std::vector<double> m(n);
    double summ2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        m[i] = normalQuantile((static_cast<double>(i + 1) - 0.375) / (dn + 0.25));
        summ2 += m[i] * m[i];
    }
    const double u = 1 / std::sqrt(dn);
    static const double c1[] = {0.0, 0.221157, -0.147981, -2.071190, 4.434685, -2.706056};
    static const double c2[] = {0.0, 0.042981, -0.293762, -1.752461, 5.682633, -3.582633};
    const double rss = std::sqrt(summ2);
    const double an = m[n - 1] / rss + poly(c1, u);
    a[n - 1] = an;
    a[0] = -an;
    std::size_t first;  // a[first..n-1-first] come from the scaled normal scores
    double phi;
    if (n > 5) {
        const double an1 = m[n - 2] / rss + poly(c2, u);
        a[n - 2] = an1;
        a[1] = -an1;
        first = 2;
        phi = (summ2 - 2 * m[n - 1] * m[n - 1] - 2 * m[n - 2] * m[n - 2]) / (1 - 2 * an * an - 2 * an1 * an1);
    } else {
        first = 1;
        phi = (summ2 - 2 * m[n - 1] * m[n - 1]) / (1 - 2 * an * an);
    }
    const double rphi = std::sqrt(phi);
    for (std::size_t i = first; i < n - first; ++i) a[i] = m[i] / rphi;
    return a;
}

// P of W by Royston's normalising transformations.
double shapiroWilkP(double w, std::size_t n) {
    const double dn = static_cast<double>(n);
    if (n == 3) {
        // Exact: 6/pi (asin sqrt W - asin sqrt 3/4).
        const double p = 6 / std::numbers::pi * (std::asin(std::sqrt(w)) - std::numbers::pi / 3);
        return std::max(p, 0.0);
    }
    if (n <= 11) {
        static const double g[] = {-2.273, 0.459};
        static const double c3[] = {0.5440, -0.39978, 0.025054, -6.714e-4};
        static const double c4[] = {1.3822, -0.77857, 0.062767, -0.0020322};
        const double gamma = poly(g, dn);
        const double y = std::log1p(-w);
        // Beyond the transformation's reach: W far below any normal sample's.
        if (y >= gamma) return 0;
        const double z = (-std::log(gamma - y) - poly(c3, dn)) / std::exp(poly(c4, dn));
        return normalUpper(z);
    }
    static const double c5[] = {-1.5861, -0.31082, -0.083751, 0.0038915};
    static const double c6[] = {-0.4803, -0.082676, 0.0030302};
    const double ln = std::log(dn);
    const double z = (std::log1p(-w) - poly(c5, ln)) / std::exp(poly(c6, ln));
    return normalUpper(z);
}

// D'Agostino and Stephens (1986), table 4.9, for the corrected statistic.
double andersonDarlingP(double a2, std::size_t n) {
    const double dn = static_cast<double>(n);
    const double aa = a2 * (1 + 0.75 / dn + 2.25 / (dn * dn));
    if (aa < 0.2) return 1 - std::exp(-13.436 + 101.14 * aa - 223.73 * aa * aa);
    if (aa < 0.34) return 1 - std::exp(-8.318 + 42.796 * aa - 59.938 * aa * aa);
    if (aa < 0.6) return std::exp(0.9177 - 4.279 * aa - 1.38 * aa * aa);
    // Past 10 the quadratic leaves the table's range (and turns upward past
    // 153); the reference computations hold P at its value near 10.
    if (aa < 10) return std::exp(1.2937 - 5.709 * aa + 0.0186 * aa * aa);
    return 3.7e-24;
}

}  // namespace

double normalCdf(double z) { return 0.5 * std::erfc(-z * kInvSqrt2); }

double normalUpper(double z) { return 0.5 * std::erfc(z * kInvSqrt2); }

double logNormalCdf(double z) {
    if (std::isnan(z)) return z;
    // Near 1 the lower tail loses its digits to the 1; the upper tail keeps them.
    if (z > 0) return std::log1p(-normalUpper(z));
    if (z > -30) return std::log(normalCdf(z));
    // erfc heads into subnormals near z = -37: the asymptotic series instead,
    // whose first omitted term is below 1e-15 here.
    const double r = 1 / (z * z);
    static const double s[] = {1, -1, 3, -15, 105, -945, 10395, -135135};
    return -0.5 * z * z - std::log(-z) - 0.5 * std::log(2 * std::numbers::pi) + std::log(poly(s, r));
}

double normalQuantile(double p) {
    if (std::isnan(p) || p < 0 || p > 1) return std::numeric_limits<double>::quiet_NaN();
    if (p == 0) return -std::numeric_limits<double>::infinity();
    if (p == 1) return std::numeric_limits<double>::infinity();
    const double q = p - 0.5;
    if (std::fabs(q) <= 0.425) {
        static const double a[] = {3.3871328727963666080e0,  1.3314166789178437745e+2, 1.9715909503065514427e+3,
                                   1.3731693765509461125e+4, 4.5921953931549871457e+4, 6.7265770927008700853e+4,
                                   3.3430575583588128105e+4, 2.5090809287301226727e+3};
        static const double b[] = {1.0,
                                   4.2313330701600911252e+1,
                                   6.8718700749205790830e+2,
                                   5.3941960214247511077e+3,
                                   2.1213794301586595867e+4,
                                   3.9307895800092710610e+4,
                                   2.8729085735721942674e+4,
                                   5.2264952788528545610e+3};
        const double r = 0.180625 - q * q;
        return q * poly(a, r) / poly(b, r);
    }
    double r = std::sqrt(-std::log(q < 0 ? p : 1 - p));
    double x;
    if (r <= 5) {
        static const double c[] = {1.42343711074968357734e0,  4.63033784615654529590e0, 5.76949722146069140550e0,
                                   3.64784832476320460504e0,  1.27045825245236838258e0, 2.41780725177450611770e-1,
                                   2.27238449892691845833e-2, 7.74545014278341407640e-4};
        static const double d[] = {1.0,
                                   2.05319162663775882187e0,
                                   1.67638483018380384940e0,
                                   6.89767334985100004550e-1,
                                   1.48103976427480074590e-1,
                                   1.51986665636164571966e-2,
                                   5.47593808499534494600e-4,
                                   1.05075007164441684324e-9};
        r -= 1.6;
        x = poly(c, r) / poly(d, r);
    } else {
        static const double e[] = {6.65790464350110377720e0,  5.46378491116411436990e0,  1.78482653991729133580e0,
                                   2.96560571828504891230e-1, 2.65321895265761230930e-2, 1.24266094738807843860e-3,
                                   2.71155556874348757815e-5, 2.01033439929228813265e-7};
        static const double f[] = {1.0,
                                   5.99832206555887937690e-1,
                                   1.36929880922735805310e-1,
                                   1.48753612908506148525e-2,
                                   7.86869131145613259100e-4,
                                   1.84631831751005468180e-5,
                                   1.42151175831644588870e-7,
                                   2.04426310338993978564e-15};
        r -= 5;
        x = poly(e, r) / poly(f, r);
    }
    return q < 0 ? -x : x;
}

NormalityResult testNormality(std::span<const double> values) {
    NormalityResult result;
    const std::size_t n = values.size();
    result.n = n;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (n == 0) {
        result.mean = result.sd = result.skewness = result.excessKurtosis = nan;
        return result;
    }
    const double dn = static_cast<double>(n);
    double sum = 0;
    for (double v : values) sum += v;
    double mean = sum / dn;
    // A second pass takes back the rounding of the first sum.
    double residual = 0;
    for (double v : values) residual += v - mean;
    mean += residual / dn;
    std::vector<double> x(values.begin(), values.end());
    std::sort(x.begin(), x.end());
    // Deviations near the ends of the double range are scaled by a power of
    // two before their powers are taken; the ratios do not change.
    const int e = scaleExponent(std::max(std::fabs(x.front() - mean), std::fabs(x.back() - mean)));
    const double up = std::ldexp(1.0, e);
    double m2 = 0, m3 = 0, m4 = 0;
    for (double v : values) {
        const double d = (v - mean) * up;
        const double d2 = d * d;
        m2 += d2;
        m3 += d2 * d;
        m4 += d2 * d2;
    }
    const double ss = m2;
    m2 /= dn;
    m3 /= dn;
    m4 /= dn;
    result.mean = mean;
    const double scaledSd = n > 1 ? std::sqrt(ss / (dn - 1)) : nan;
    result.sd = std::ldexp(scaledSd, -e);
    result.skewness = m2 > 0 ? m3 / std::pow(m2, 1.5) : nan;
    result.excessKurtosis = m2 > 0 ? m4 / (m2 * m2) - 3 : nan;

    if (n < 3 || !(x.back() > x.front()) || !(ss > 0)) return result;

    if (n <= 5000) {
        const std::vector<double> a = shapiroWilkCoefficients(n);
        double num = 0;
        for (std::size_t i = 0; i < n; ++i) num += a[i] * ((x[i] - mean) * up);
        const double w = num * num / ss;
        result.shapiroWilk = ShapiroWilk{w, shapiroWilkP(w, n)};
    }
    if (n >= 8) {
        double h = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double lo = logNormalCdf((x[i] - mean) * up / scaledSd);
            const double hi = logNormalCdf(-(x[n - 1 - i] - mean) * up / scaledSd);
            h += (2 * static_cast<double>(i + 1) - 1) * (lo + hi);
        }
        const double a2 = -dn - h / dn;
        result.andersonDarling = AndersonDarling{a2, andersonDarlingP(a2, n)};
    }
    return result;
}

}  // namespace lumera::analysis
