// SPDX-License-Identifier: GPL-3.0-or-later
// What a rule declares about its options, once: each field's key, the member
// it is, how it is kept and shown, its spelling on the command line and its
// help words. Keeping the fields between runs, the presets, qorin-cli's
// parser, its help, manual pages and completion, and the binding of a tab's
// controls are all made from these tables.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace qorin::rules {

enum class FieldKind : unsigned char { Text, Flag, Choice };

// Words in Chinese (the program's own, for --help and the Chinese manual)
// and in English (for the English manual). UTF-8, as written here.
struct Words {
  std::string_view zh;
  std::string_view en;
};

// One value of a choice field: its word on the command line (empty: not
// offered there), the radio button that shows it (empty when the field is a
// drop-down list, whose item is the value), and the value itself.
struct Choice {
  std::string_view word;
  std::string_view control;
  int value;
};

// What a command-line option of a field takes.
enum class Takes : unsigned char {
  Value,   // one value (a flag field: none)
  Two,     // two values; the second may be given as --with=VALUE
  Nothing  // none: a choice field's option sets `sets`
};

template <class O>
struct Field {
  // Kept under this name (code page when kept): the design name of the
  // control that shows it; a choice shown by radio buttons keeps one entry
  // per button under the button's name.
  std::string_view key;
  FieldKind kind = FieldKind::Text;
  std::string O::*text = nullptr;
  bool O::*flag = nullptr;
  int (*get)(const O&) = nullptr;
  void (*set)(O&, int) = nullptr;
  std::span<const Choice> choices{};

  // The command line: the option (empty: the field is not offered there),
  // what its value is called, what it does.
  std::string_view option{};
  Words valueName{};
  Words help{};
  // The option names the rule (one per rule); the others modify it.
  bool namesRule = false;
  Takes takes = Takes::Value;
  int sets = -1;  // with Takes::Nothing
  // Reads the option's values into the options where the field's kind alone
  // does not say how; returns what is wrong (code-page text), empty when
  // nothing is.
  std::string (*parse)(O&, std::span<const std::string> values) = nullptr;
};

// A field of a std::string member.
template <class O>
constexpr Field<O> textField(std::string_view key, std::string O::*m) {
  Field<O> f{.key = key};
  f.text = m;
  return f;
}

template <class O>
constexpr Field<O> flagField(std::string_view key, bool O::*m) {
  Field<O> f{.key = key, .kind = FieldKind::Flag};
  f.flag = m;
  return f;
}

template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
  using Class = C;
  using Type = T;
};

// A field of an enum member, M being &O::member.
template <auto M, class O = typename MemberOf<decltype(M)>::Class>
constexpr Field<O> choiceField(std::string_view key, std::span<const Choice> choices) {
  using E = typename MemberOf<decltype(M)>::Type;
  Field<O> f{.key = key, .kind = FieldKind::Choice};
  f.get = [](const O& o) { return static_cast<int>(o.*M); };
  f.set = [](O& o, int v) { o.*M = static_cast<E>(v); };
  f.choices = choices;
  return f;
}

// The field with its command-line spelling.
template <class O>
constexpr Field<O> onCommandLine(Field<O> f, std::string_view option, Words valueName, Words help) {
  f.option = option;
  f.valueName = valueName;
  f.help = help;
  return f;
}

// What each rule declares: a specialisation per options type, beside the
// options, holding
//   static constexpr Words about;            what the rule does (--help, manuals)
//   static constexpr std::array fields{…};   Field<O> each
// and where needed
//   static O commandLine();                  the options qorin-cli starts from
//   static std::string error(const O&);      why it cannot run (code page), empty when it can
template <class O>
struct RuleFields;

}  // namespace qorin::rules
