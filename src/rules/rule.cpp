#include "rules/rule.h"

#include <type_traits>

namespace qorin::rules {

void applyRule(filelist::FileList& list, int n, const RuleOptions& rule) {
  std::visit(
      [&](const auto& o) {
        using T = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<T, GeneralOptions>) {
          generalRule(list, n, o);
        } else if constexpr (std::is_same_v<T, ReplaceOptions>) {
          replaceRule(list, n, o);
        } else if constexpr (std::is_same_v<T, InsertOptions>) {
          insertRule(list, n, o);
        } else if constexpr (std::is_same_v<T, CaseOptions>) {
          caseRule(list, n, o);
        } else {
          static_assert(std::is_same_v<T, Mp3Options>);
          mp3Rule(list, o);
        }
      },
      rule);
}

bool coversEveryEntry(const RuleOptions& rule) { return std::holds_alternative<Mp3Options>(rule); }

void setCleanup(RuleOptions& rule, const NameCleanup& cleanup) {
  std::visit(
      [&](auto& o) {
        if constexpr (requires { o.cleanup; }) o.cleanup = cleanup;
      },
      rule);
}

}  // namespace qorin::rules
