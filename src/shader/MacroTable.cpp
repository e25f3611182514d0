#include "MacroTable.h"

namespace rastro {

int Macro::ParameterIndex(const Token& token) const {
  if (token.kind != TokenKind::Identifier) return -1;
  for (std::size_t i = 0; i < parameters.size(); ++i)
    if (parameters[i].Name() == token.Name()) return static_cast<int>(i);
  return -1;
}

void Macro::ClassifyBody() {
  roles.clear();
  roles.reserve(body.size());
  for (const Token& token : body) {
    int role = ParameterIndex(token);
    if (token.IsOperator('#'))
      role = kStringize;
    else if (token.IsOperator("#@"))
      role = kCharize;
    else if (token.IsOperator("##"))
      role = kPaste;
    roles.push_back(role);
  }
}

Macro& MacroTable::Define(std::string_view name) {
  ++generation_;
  Macro& macro = storage_.emplace_back();
  macro.name = name;
  byName_.Assign(name, &macro);
  return macro;
}

void MacroTable::Undefine(std::string_view name) {
  ++generation_;
  byName_.Erase(name);
}

const Macro* MacroTable::Find(std::string_view name) const {
  return byName_.Find(name);
}

const Macro* MacroTable::ChainStep(const Macro* macro) const {
  if (macro->functionLike || macro->body.size() != 1 || macro->body[0].kind != TokenKind::Identifier) return nullptr;
  return Find(macro->body[0].Name());
}

const Macro* MacroTable::Resolve(std::string_view name) const {
  const Macro* macro = Find(name);
  if (!macro) return nullptr;
  if (macro->resolvedGeneration == generation_) return macro->resolved;

  // Two walkers, one step and two steps a round: they meet only on a cycle.
  const Macro* slow = macro;
  const Macro* fast = macro;
  const Macro* result = nullptr;
  for (;;) {
    const Macro* next = ChainStep(fast);
    if (!next) {
      result = fast;
      break;
    }
    const Macro* nextNext = ChainStep(next);
    if (!nextNext) {
      result = next;
      break;
    }
    fast = nextNext;
    slow = ChainStep(slow);
    if (slow == fast) break;  // circular: counts as undefined
  }
  macro->resolvedGeneration = generation_;
  macro->resolved = result;
  return result;
}

bool HideSets::Contains(const HideSet* set, const Macro* macro) {
  for (; set; set = set->next)
    if (set->macro == macro) return true;
  return false;
}

const HideSet* HideSets::With(const HideSet* set, const Macro* macro) {
  if (Contains(set, macro)) return set;
  if (const HideSet* found = interned_.Find({set, macro})) return found;
  const HideSet* node = &storage_.emplace_back(HideSet{macro, set});
  interned_.Assign({set, macro}, node);
  return node;
}

const HideSet* HideSets::Union(const HideSet* set, const HideSet* more) {
  if (!set || set == more) return more;
  if (!more) return set;
  auto key = (reinterpret_cast<std::uintptr_t>(set) ^ reinterpret_cast<std::uintptr_t>(more) * 31) >> 4;
  CachedUnion& cached = unions_[key % kUnionCacheSize];
  if (cached.set == set && cached.more == more) return cached.result;
  const HideSet* result = set;
  for (const HideSet* add = more; add; add = add->next) result = With(result, add->macro);
  cached = {set, more, result};
  return result;
}

}  // namespace rastro
