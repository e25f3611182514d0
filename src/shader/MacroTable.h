// The preprocessor's defined macros, and name lookup through chains of aliases.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "FlatHashMap.h"
#include "Token.h"
#include "TokenRun.h"

namespace rastro {

struct Macro {
  // What each body token does in a call.
  static constexpr int kPlain = -1;
  static constexpr int kStringize = -2;  // '#'
  static constexpr int kCharize = -3;    // '#@'
  static constexpr int kPaste = -4;      // '##'

  std::string_view name;
  bool functionLike = false;
  std::vector<Token> parameters;            // identifiers, in order
  std::vector<Token> body;                  // source texts live in the string store
  std::vector<int> roles;                   // per body token: a parameter index or one of the above
  std::shared_ptr<const TokenRun> bodyRun;  // the body as expansion reads it
  // Chain resolution, cached until a definition changes a chain.
  mutable std::uint64_t resolvedGeneration = 0;
  mutable const Macro* resolved = nullptr;

  int ParameterIndex(const Token& token) const;
  // Fills `roles` and `bodyRun`; called once the body and parameters are set.
  void ClassifyBody();
};

class MacroTable {
 public:
  // Inserts or silently replaces. The returned macro lives as long as the table; fill in its
  // parameters and body, then call Finish.
  Macro& Define(std::string_view name);
  // Classifies the body and notes whether the macro is an alias of another name.
  void Finish(Macro& macro);
  void Undefine(std::string_view name);
  const Macro* Find(std::string_view name) const;

  // Follows object-like macros whose whole body is one identifier naming another macro and
  // returns the last one reached; null when the name is not defined or the chain is circular.
  const Macro* Resolve(std::string_view name) const;

 private:
  const Macro* ChainStep(const Macro* macro) const;
  // The name a macro is an alias of (its whole body one identifier, no parameters), or empty.
  static std::string_view AliasTarget(const Macro& macro);
  // Forgets `macro` as an alias; a change to a name that aliases point at invalidates every
  // cached resolution, since chains run through it.
  void Retire(const Macro& macro);

  // Whole words at a time: names are short, and every identifier read is looked up.
  struct NameHash {
    std::size_t operator()(std::string_view name) const {
      constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
      const char* p = name.data();
      std::size_t n = name.size();
      std::uint64_t hash = n;
      for (; n >= 8; p += 8, n -= 8) hash = (hash ^ Load<std::uint64_t>(p)) * kMultiplier;
      if (n >= 4) {
        // Two overlapping loads cover four to seven bytes.
        std::uint64_t words = std::uint64_t(Load<std::uint32_t>(p)) << 32 | Load<std::uint32_t>(p + n - 4);
        hash = (hash ^ words) * kMultiplier;
      } else if (n > 0) {
        std::uint64_t bytes = std::uint64_t(static_cast<unsigned char>(p[0])) << 16 |
                              std::uint64_t(static_cast<unsigned char>(p[n / 2])) << 8 |
                              static_cast<unsigned char>(p[n - 1]);
        hash = (hash ^ bytes) * kMultiplier;
      }
      return static_cast<std::size_t>(hash ^ (hash >> 32));
    }
    template <class Word>
    static Word Load(const char* p) {
      Word word;
      std::memcpy(&word, p, sizeof word);
      return word;
    }
  };

  std::deque<Macro> storage_;  // never shrinks, so hide sets can hold plain pointers
  FlatHashMap<std::string_view, Macro*, NameHash> byName_;
  // How many macros are aliases of each name. Defining or removing a name no alias points at
  // changes no chain but its own, so most definitions keep the cache.
  std::unordered_map<std::string_view, std::uint32_t> aliasCounts_;
  std::uint64_t generation_ = 1;
};

}  // namespace rastro
