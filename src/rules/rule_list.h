// SPDX-License-Identifier: GPL-3.0-or-later
// What a registration of rules (rules/rule.h) is made of: each rule's entry,
// and the list that makes the options variant, finds a rule by its options
// and checks that the rules can be told apart.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>

#include "filelist/file_list.h"
#include "rules/reading.h"

namespace qorin::rules {

// A rule's key as a template argument, written as a string literal.
template <std::size_t N>
struct RuleKey {
  char text[N]{};
  // Implicit, so that an entry reads Rule<…, "key">.
  constexpr RuleKey(const char (&s)[N]) { std::copy_n(s, N, text); }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// One rule: its options, the function that writes its proposals, and its key,
// which stays the same when captions change (saved settings find a tab by it).
// A function of (list, n, options) writes the first n entries; one of (list,
// options) names every entry on each run; one that reads files takes what
// reads them as well, (list, options, reading), and says false when the
// reading's stop stopped it. The function is a template argument, so a run
// calls it directly: nothing is looked up per entry.
template <class O, auto Apply, RuleKey Key>
struct Rule {
  using Options = O;
  static constexpr std::string_view key = Key.view();
  static constexpr bool takesCount = std::is_invocable_v<decltype(Apply), filelist::FileList&, int, const O&>;
  static constexpr bool takesReading =
      std::is_invocable_r_v<bool, decltype(Apply), filelist::FileList&, const O&, const Reading&>;
  static_assert(
      takesCount || takesReading || std::is_invocable_v<decltype(Apply), filelist::FileList&, const O&>,
      "a rule writes proposals from (list, n, options), (list, options) or (list, options, reading)");

  static bool apply(filelist::FileList& list, int n, const O& o, const Reading& reading) {
    if constexpr (takesCount) {
      Apply(list, n, o);
    } else if constexpr (takesReading) {
      return Apply(list, o, reading);
    } else {
      Apply(list, o);
    }
    return true;
  }
};

template <class... R>
struct RuleList {
  using Options = std::variant<typename R::Options...>;
  static constexpr int size = static_cast<int>(sizeof...(R));
  static constexpr std::array<std::string_view, sizeof...(R)> keys{R::key...};

  // The position of the rule whose options are O, or -1.
  template <class O>
  static constexpr int indexOf() {
    constexpr std::array<bool, sizeof...(R)> same{std::is_same_v<O, typename R::Options>...};
    const auto* at = std::find(same.begin(), same.end(), true);
    return at == same.end() ? -1 : static_cast<int>(at - same.begin());
  }

  template <class O>
  using RuleOf = std::tuple_element_t<static_cast<std::size_t>(indexOf<O>()), std::tuple<R...>>;

  static constexpr bool distinct() {
    const bool optionsOnce = ((indexOf<typename R::Options>() == index<R>()) && ...);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i].empty()) return false;
      for (std::size_t j = 0; j < i; ++j)
        if (keys[i] == keys[j]) return false;
    }
    return optionsOnce;
  }

 private:
  template <class T>
  static constexpr int index() {
    constexpr std::array<bool, sizeof...(R)> same{std::is_same_v<T, R>...};
    return static_cast<int>(std::find(same.begin(), same.end(), true) - same.begin());
  }
};

}  // namespace qorin::rules
