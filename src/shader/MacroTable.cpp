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
  bodyRun = TokenRun::Make(body);
}

std::string_view MacroTable::AliasTarget(const Macro& macro) {
  if (macro.functionLike || macro.body.size() != 1 || macro.body[0].kind != TokenKind::Identifier) return {};
  return macro.body[0].Name();
}

void MacroTable::Retire(const Macro& macro) {
  if (std::string_view target = AliasTarget(macro); !target.empty()) {
    auto count = aliasCounts_.find(target);
    if (count != aliasCounts_.end() && --count->second == 0) aliasCounts_.erase(count);
  }
  if (aliasCounts_.contains(macro.name)) ++generation_;
}

Macro& MacroTable::Define(std::string_view name) {
  if (const Macro* old = Find(name)) {
    Retire(*old);
  } else if (aliasCounts_.contains(name)) {
    ++generation_;  // chains that ended at this name now continue
  }
  Macro& macro = storage_.emplace_back();
  macro.name = name;
  byName_.Assign(name, &macro);
  return macro;
}

void MacroTable::Finish(Macro& macro) {
  macro.ClassifyBody();
  if (std::string_view target = AliasTarget(macro); !target.empty()) ++aliasCounts_[target];
}

void MacroTable::Undefine(std::string_view name) {
  const Macro* old = Find(name);
  if (!old) return;
  Retire(*old);
  byName_.Erase(name);
}

const Macro* MacroTable::Find(std::string_view name) const { return byName_.Find(name); }

const Macro* MacroTable::ChainStep(const Macro* macro) const {
  std::string_view target = AliasTarget(*macro);
  return target.empty() ? nullptr : Find(target);
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
  // Every macro along a chain that ends resolves to the same macro.
  if (result)
    for (const Macro* step = macro; step != result; step = ChainStep(step)) {
      step->resolvedGeneration = generation_;
      step->resolved = result;
    }
  return result;
}

}  // namespace rastro
