// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/rule.h"

#include <algorithm>
#include <type_traits>

#include "text/gbtext.h"

namespace qorin::rules {

bool applyRule(filelist::FileList& list, int n, const RuleOptions& rule, const Reading& reading) {
  return std::visit(
      [&](const auto& o) { return Rules::RuleOf<std::decay_t<decltype(o)>>::apply(list, n, o, reading); },
      rule);
}

std::string ruleError(const RuleOptions& rule) {
  return std::visit(
      [](const auto& o) -> std::string {
        using F = RuleFields<std::decay_t<decltype(o)>>;
        if constexpr (requires { F::error(o); }) {
          return F::error(o);
        } else {
          return {};
        }
      },
      rule);
}

namespace {

template <std::size_t... I>
RuleOptions optionsAt(std::size_t index, std::index_sequence<I...>) {
  RuleOptions out;
  ((index == I ? (out.template emplace<I>(), 0) : 0), ...);
  return out;
}

const std::string* keptValue(const FieldValues& values, std::string_view key) {
  if (key.empty()) return nullptr;
  const std::string name = text::gb(key);
  const auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
  return it == values.end() ? nullptr : &it->second;
}

template <class O>
void keep(const O& o, FieldValues& out) {
  const std::string on = keptOn(), off = keptOff();
  for (const Field<O>& f : RuleFields<O>::fields) {
    switch (f.kind) {
      case FieldKind::Text:
        out.emplace_back(text::gb(f.key), o.*f.text);
        break;
      case FieldKind::Flag:
        out.emplace_back(text::gb(f.key), o.*f.flag ? on : off);
        break;
      case FieldKind::Choice:
        if (!f.key.empty()) {
          out.emplace_back(text::gb(f.key), std::to_string(f.get(o)));
          break;
        }
        for (const Choice& c : f.choices)
          out.emplace_back(text::gb(c.control), f.get(o) == c.value ? on : off);
        break;
    }
  }
}

template <class O>
void put(O& o, const FieldValues& values) {
  const std::string on = keptOn(), off = keptOff();
  for (const Field<O>& f : RuleFields<O>::fields) {
    if (f.kind == FieldKind::Choice && f.key.empty()) {
      for (const Choice& c : f.choices)
        if (const std::string* v = keptValue(values, c.control); v && *v == on) f.set(o, c.value);
      continue;
    }
    const std::string* v = keptValue(values, f.key);
    if (!v) continue;
    if (f.kind == FieldKind::Text) {
      o.*f.text = *v;
    } else if (f.kind == FieldKind::Flag) {
      if (*v == on || *v == off) o.*f.flag = *v == on;
    } else {
      const int item = text::toNumber(*v);
      for (const Choice& c : f.choices)
        if (c.value == item) f.set(o, item);
    }
  }
}

}  // namespace

RuleOptions ruleAt(int index) {
  if (index < 0 || index >= kRuleCount) return {};
  return optionsAt(static_cast<std::size_t>(index), std::make_index_sequence<kRuleCount>());
}

int ruleIndex(std::string_view key) {
  for (int i = 0; i < kRuleCount; ++i)
    if (ruleKey(i) == key) return i;
  return -1;
}

std::string keptOn() { return text::gb("开"); }
std::string keptOff() { return text::gb("关"); }

FieldValues keptFields(const RuleOptions& rule) {
  FieldValues out;
  std::visit([&](const auto& o) { keep(o, out); }, rule);
  return out;
}

void putKept(RuleOptions& rule, const FieldValues& values) {
  std::visit([&](auto& o) { put(o, values); }, rule);
}

bool coversEveryEntry(const RuleOptions& rule) {
  return std::visit([](const auto& o) { return !Rules::RuleOf<std::decay_t<decltype(o)>>::takesCount; },
                    rule);
}

void setCleanup(RuleOptions& rule, const NameCleanup& cleanup) {
  std::visit(
      [&](auto& o) {
        if constexpr (requires { o.cleanup; }) o.cleanup = cleanup;
      },
      rule);
}

}  // namespace qorin::rules
