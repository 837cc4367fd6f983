// SPDX-License-Identifier: GPL-3.0-or-later
// What came of a rule, a plan, a pass or a tag conversion for one row: how
// bad it is, and the code of whoever said so. Each producer declares its
// codes as an enum of its own and names itself with producerOf (found by
// argument-dependent lookup); the list, the plan and the marks look at the
// severity only, and the words for each producer's codes are a table of
// their own (session/messages).
#pragma once

#include <cstdint>

namespace qorin::filelist {

enum class Severity : unsigned char { Ok, Note, Fail };

enum class Producer : unsigned char {
  None,
  List,      // the list itself (ListCode)
  Rule,      // the naming rules (rules::RuleCode)
  Rename,    // the plan, the pass and the undo (rename::RenameCode)
  TagWrite,  // rewriting tags (tags::ConversionProblem)
};

// Codes any producer may give, and the list's own.
enum class ListCode : unsigned char {
  // the name on disk is in no encoding the program can tell, and the proposal
  // (or the conversion to UTF-8) would have to read it as one.
  NameEncodingUnknown,
  FolderChanged,  // the folder at the row's path is not the one the row was added from
  Stopped,        // the user stopped the rule, the pass or the undo before this file
  kCount
};
constexpr Producer producerOf(ListCode) { return Producer::List; }

// Two bytes, as an entry keeps three of them: producer and code share one.
class Outcome {
 public:
  static constexpr unsigned kCodeBits = 5;  // codes per producer: 32 at most

  constexpr Outcome() = default;
  constexpr Outcome(Severity s, Producer p, unsigned code)
      : severity_(s), packed_(static_cast<unsigned char>(static_cast<unsigned>(p) << kCodeBits | code)) {}
  template <class Code>
  constexpr Outcome(Severity s, Code code) : Outcome(s, producerOf(code), static_cast<unsigned>(code)) {
    static_assert(static_cast<unsigned>(Code::kCount) <= 1u << kCodeBits);
  }

  constexpr Severity severity() const { return severity_; }
  constexpr Producer producer() const { return static_cast<Producer>(packed_ >> kCodeBits); }
  constexpr unsigned code() const { return packed_ & ((1u << kCodeBits) - 1); }

  // Nothing to say: the row went, or goes, as proposed.
  constexpr bool none() const { return packed_ == 0 && severity_ == Severity::Ok; }
  constexpr bool note() const { return severity_ == Severity::Note; }
  constexpr bool failed() const { return severity_ == Severity::Fail; }
  // Whose code this is, and which (whatever its severity).
  template <class Code>
  constexpr bool is(Code c) const {
    return producer() == producerOf(c) && code() == static_cast<unsigned>(c);
  }
  // The code, for the producer's own tables; only where producer() is its.
  template <class Code>
  constexpr Code as() const {
    return static_cast<Code>(code());
  }

  friend constexpr bool operator==(Outcome, Outcome) = default;

 private:
  Severity severity_ = Severity::Ok;
  unsigned char packed_ = 0;
};

template <class Code>
constexpr Outcome fail(Code c) {
  return {Severity::Fail, c};
}
template <class Code>
constexpr Outcome note(Code c) {
  return {Severity::Note, c};
}
// A code that is neither (the plan's "already so named").
template <class Code>
constexpr Outcome ok(Code c) {
  return {Severity::Ok, c};
}

// The list's codes as every producer gives them.
namespace why {
inline constexpr Outcome NameEncodingUnknown = fail(ListCode::NameEncodingUnknown);
inline constexpr Outcome FolderChanged = fail(ListCode::FolderChanged);
inline constexpr Outcome Stopped = fail(ListCode::Stopped);
}  // namespace why

// An outcome with its detail (a row number, an error number).
struct Mark {
  Outcome reason;
  std::int32_t detail = 0;
};

}  // namespace qorin::filelist
