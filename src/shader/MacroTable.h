// The preprocessor's defined macros, name lookup through chains of aliases, and the hide sets
// that keep a macro from expanding inside its own expansion.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Token.h"

namespace rastro {

struct Macro {
  // What each body token does in a call.
  static constexpr int kPlain = -1;
  static constexpr int kStringize = -2;  // '#'
  static constexpr int kCharize = -3;    // '#@'
  static constexpr int kPaste = -4;      // '##'

  std::string_view name;
  bool functionLike = false;
  std::vector<Token> parameters;  // identifiers, in order
  std::vector<Token> body;        // source texts live in the string store
  std::vector<int> roles;         // per body token: a parameter index or one of the above
  // Chain resolution, cached until the table next changes.
  mutable std::uint64_t resolvedGeneration = 0;
  mutable const Macro* resolved = nullptr;

  int ParameterIndex(const Token& token) const;
  // Fills `roles`; called once the body and parameters are set.
  void ClassifyBody();
};

class MacroTable {
 public:
  // Inserts or silently replaces. The returned macro lives as long as the table.
  Macro& Define(std::string_view name);
  void Undefine(std::string_view name);
  const Macro* Find(std::string_view name) const;

  // Follows object-like macros whose whole body is one identifier naming another macro and
  // returns the last one reached; null when the name is not defined or the chain is circular.
  const Macro* Resolve(std::string_view name) const;

 private:
  const Macro* ChainStep(const Macro* macro) const;

  std::deque<Macro> storage_;  // never shrinks, so hide sets can hold plain pointers
  std::unordered_map<std::string_view, Macro*> byName_;
  std::uint64_t generation_ = 1;
};

// A set of macros, as a shared persistent list. Equal (set, macro) additions give the same
// node, so the number of nodes stays bounded by the distinct sets that occur.
struct HideSet {
  const Macro* macro;
  const HideSet* next;
};

class HideSets {
 public:
  static bool Contains(const HideSet* set, const Macro* macro);
  const HideSet* With(const HideSet* set, const Macro* macro);
  const HideSet* Union(const HideSet* set, const HideSet* more);

 private:
  struct KeyHash {
    std::size_t operator()(const std::pair<const HideSet*, const Macro*>& key) const {
      return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
    }
  };
  std::deque<HideSet> storage_;
  const HideSet* lastSet_ = nullptr;
  const HideSet* lastMore_ = nullptr;
  const HideSet* lastUnion_ = nullptr;
  std::unordered_map<std::pair<const HideSet*, const Macro*>, const HideSet*, KeyHash> interned_;
};

}  // namespace rastro
