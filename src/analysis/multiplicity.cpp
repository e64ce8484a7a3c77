#include "analysis/multiplicity.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lumera::analysis {

namespace {

struct Named {
    const char* name;
    AdjustRule rule;
};
constexpr Named kRules[] = {
    {"none", AdjustRule::None}, {"sidak", AdjustRule::Sidak},       {"bonferroni", AdjustRule::Bonferroni},
    {"holm", AdjustRule::Holm}, {"hochberg", AdjustRule::Hochberg}, {"BH", AdjustRule::BH}};

// Positions of p in ascending or descending order; equal values keep
// their positions' order, as R's order() does.
std::vector<std::size_t> order(const std::vector<double>& p, bool decreasing) {
    std::vector<std::size_t> o(p.size());
    std::iota(o.begin(), o.end(), std::size_t{0});
    std::stable_sort(o.begin(), o.end(),
                     [&](std::size_t a, std::size_t b) { return decreasing ? p[a] > p[b] : p[a] < p[b]; });
    return o;
}

}  // namespace

std::optional<AdjustRule> adjustRuleNamed(const std::string& name) {
    for (const Named& r : kRules)
        if (name == r.name) return r.rule;
    return std::nullopt;
}

std::string adjustRuleName(AdjustRule rule) {
    for (const Named& r : kRules)
        if (r.rule == rule) return r.name;
    return "none";
}

std::vector<double> adjustedP(const std::vector<double>& p, AdjustRule rule) {
    const std::size_t n = p.size();
    const double m = static_cast<double>(n);
    std::vector<double> out(p);
    switch (rule) {
        case AdjustRule::None:
            break;
        case AdjustRule::Sidak:
            for (double& v : out) v = std::min(1.0, 1 - std::pow(1 - v, m));
            break;
        case AdjustRule::Bonferroni:
            for (double& v : out) v = std::min(1.0, m * v);
            break;
        case AdjustRule::Holm: {
            // Step down: the running maximum of (n - i + 1) p_(i), smallest P first.
            double running = 0;
            const std::vector<std::size_t> o = order(p, false);
            for (std::size_t i = 0; i < n; ++i) {
                running = std::max(running, static_cast<double>(n - i) * p[o[i]]);
                out[o[i]] = std::min(1.0, running);
            }
            break;
        }
        case AdjustRule::Hochberg:
        case AdjustRule::BH: {
            // Step up: the running minimum from the largest P down, whose rank is n.
            double running = HUGE_VAL;
            const std::vector<std::size_t> o = order(p, true);
            for (std::size_t k = 0; k < n; ++k) {
                const double rank = static_cast<double>(n - k);
                const double scaled =
                    rule == AdjustRule::Hochberg ? static_cast<double>(k + 1) * p[o[k]] : m / rank * p[o[k]];
                running = std::min(running, scaled);
                out[o[k]] = std::min(1.0, running);
            }
            break;
        }
    }
    return out;
}

}  // namespace lumera::analysis
