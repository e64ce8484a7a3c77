#pragma once
#include <optional>
#include <string>
#include <vector>

namespace lumera::analysis {

// The rules that adjust the P-values of m pairs tested together.
enum class AdjustRule { None, Sidak, Bonferroni, Holm, Hochberg, BH };

// "none", "sidak", "bonferroni", "holm", "hochberg", "BH"; nothing for any other word.
std::optional<AdjustRule> adjustRuleNamed(const std::string& name);
std::string adjustRuleName(AdjustRule rule);

// Each P adjusted by the rule, as R's p.adjust computes it for bonferroni,
// holm, hochberg and BH (ties in the stable order of R's order()); sidak
// gives min(1, 1 - (1 - P)^m); none gives P.
std::vector<double> adjustedP(const std::vector<double>& p, AdjustRule rule);

}  // namespace lumera::analysis
