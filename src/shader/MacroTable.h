// The preprocessor's defined macros, name lookup through chains of aliases, and the hide sets
// that keep a macro from expanding inside its own expansion.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "FlatHashMap.h"
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
      return reinterpret_cast<std::uintptr_t>(key.first) * 31 + reinterpret_cast<std::uintptr_t>(key.second);
    }
  };
  // Recent unions: runs of tokens from one argument ask for the same one again and again.
  struct CachedUnion {
    const HideSet* set = nullptr;
    const HideSet* more = nullptr;
    const HideSet* result = nullptr;
  };
  static constexpr std::size_t kUnionCacheSize = 1024;

  std::deque<HideSet> storage_;
  std::array<CachedUnion, kUnionCacheSize> unions_{};
  FlatHashMap<std::pair<const HideSet*, const Macro*>, const HideSet*, KeyHash> interned_;
};

}  // namespace rastro
