// Macro expansion of the Preprocessor: calls read from the input, substitution with
// stringizing, charizing and pasting, and the full expansion of arguments before they are
// substituted. Every token of an expansion carries the macros it came from (its hide set), so
// a macro never expands again inside its own expansion and every expansion ends.
#include <string>

#include "Preprocessor.h"

namespace rastro {

namespace {

constexpr unsigned kMaxArgumentNesting = 256;

int BracketChange(const Token& token) {
  if (token.kind != TokenKind::Operator || token.value.op[1] != 0) return 0;
  switch (token.value.op[0]) {
    case '(': case '[': case '{': return 1;
    case ')': case ']': case '}': return -1;
    default: return 0;
  }
}

}  // namespace

bool Preprocessor::CountExpansion(const Token& position) {
  if (++expansions_ <= maxExpansions_) return true;
  REPORT_DIAGNOSTIC(diagnostics_, &position, MacroExpansionTooLarge);
  Fail(E_FAIL);
  return false;
}

bool Preprocessor::CheckQueueSize(std::size_t extra, const Token& position) {
  if (pending_.size() + extra <= maxQueuedTokens_) return true;
  REPORT_DIAGNOSTIC(diagnostics_, &position, MacroExpansionTooLarge);
  Fail(E_FAIL);
  return false;
}

void Preprocessor::PushFront(const TokenList& tokens) { pending_.insert(pending_.end(), tokens.rbegin(), tokens.rend()); }

void Preprocessor::PushBodyFront(const Macro& macro, const HideSet* hidden) {
  for (auto it = macro.body.rbegin(); it != macro.body.rend(); ++it) pending_.push_back({*it, hidden});
}

Preprocessor::Expansion Preprocessor::ExpandFromInput(const QueuedToken& name, const Macro& macro) {
  if (!CountExpansion(name.token)) return Expansion::NotExpanded;
  const HideSet* hidden = hideSets_.With(name.hidden, &macro);
  if (!macro.functionLike) {
    if (!CheckQueueSize(macro.body.size(), name.token)) return Expansion::NotExpanded;
    PushBodyFront(macro, hidden);
    return Expansion::Done;
  }

  // A call needs '(' right after the name: the next queued token, or the very next source
  // character (a blank between name and parenthesis means no call).
  if (!pending_.empty()) {
    if (!pending_.back().token.IsOperator('(')) return Expansion::NotExpanded;
    pending_.pop_back();
  } else {
    if (current_->PeekChar() != '(') return Expansion::NotExpanded;
    Token parenthesis;
    current_->NextToken(Mode(), parenthesis);
  }

  auto arguments = callArguments_.Acquire();
  if (!CollectArgumentsFromInput(*arguments, name.token)) return Expansion::NotExpanded;
  if (!PairArguments(macro, *arguments, name.token)) return Expansion::NotExpanded;
  auto result = tokenLists_.Acquire();
  if (!Substitute(macro, *arguments, hidden, 0, *result)) return Expansion::NotExpanded;
  if (!CheckQueueSize(result->size(), name.token)) return Expansion::NotExpanded;
  PushFront(*result);
  return Expansion::Done;
}

bool Preprocessor::CollectArgumentsFromInput(CallArguments& arguments, const Token& name) {
  std::size_t collected = 0;
  for (int depth = 1;;) {
    // Read in place; separators and the closing parenthesis are taken back out.
    QueuedToken& argument = arguments.tokens.emplace_back();
    if (!pending_.empty()) {
      argument = pending_.back();
      pending_.pop_back();
    } else {
      current_->NextToken(Mode(), argument.token);
    }
    if (argument.token.kind == TokenKind::EndOfFile) {
      REPORT_DIAGNOSTIC(diagnostics_, &argument.token, EndOfFileInMacroCall);
      return false;
    }
    depth += BracketChange(argument.token);
    if (depth == 0 || (depth == 1 && argument.token.IsOperator(','))) {
      arguments.tokens.pop_back();
      arguments.ends.push_back(arguments.tokens.size());
      if (depth == 0) return true;
      continue;
    }
    if (++collected > maxQueuedTokens_) return CheckQueueSize(collected, name);
  }
}

bool Preprocessor::PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name) {
  bool paired = arguments.Count() == macro.parameters.size();
  for (std::size_t i = 0, begin = 0; paired && i < arguments.Count(); begin = arguments.ends[i++])
    paired = arguments.ends[i] != begin;
  if (paired) return true;
  std::string macroName(macro.name);
  REPORT_DIAGNOSTIC(diagnostics_, &name, TooFewMacroArguments, macroName.c_str());
  return false;
}

bool Preprocessor::Substitute(const Macro& macro, CallArguments& arguments, const HideSet* hidden, unsigned depth,
                              TokenList& result) {
  using Place = Substitution::ExpandedArgument::Place;
  const std::vector<Token>& body = macro.body;
  auto work = substitutions_.Acquire();
  TokenList& list = work->list;
  work->expandedArguments.resize(arguments.Count());

  enum class Quote { None, String, Character } quote = Quote::None;
  const Token* quoteOperator = nullptr;

  for (std::size_t i = 0; i < body.size(); ++i) {
    const Token& token = body[i];
    int role = macro.roles[i];
    if (role == Macro::kStringize || role == Macro::kCharize) {
      quote = role == Macro::kStringize ? Quote::String : Quote::Character;
      quoteOperator = &token;
      continue;
    }
    int parameter = role >= 0 ? role : -1;
    if (quote != Quote::None) {
      QueuedToken single{token, hidden};
      std::span<const QueuedToken> operand =
          parameter >= 0 ? std::span<const QueuedToken>(arguments[parameter]) : std::span(&single, 1);
      if (!Stringize(operand, quote == Quote::Character, *quoteOperator, hidden, list)) return false;
      quote = Quote::None;
      continue;
    }
    if (parameter >= 0) {
      // Operands of '##' are pasted as written; every other use is fully expanded first.
      bool pasteOperand = (i > 0 && macro.roles[i - 1] == Macro::kPaste) ||
                          (i + 1 < body.size() && macro.roles[i + 1] == Macro::kPaste);
      TokenSpan source = arguments[parameter];
      if (!pasteOperand) {
        Substitution::ExpandedArgument& expansion = work->expandedArguments[parameter];
        if (expansion.place == Place::NotYet) {
          std::size_t begin = work->expandedTokens.size();
          bool changed = true;
          if (!ExpandList(source, depth + 1, work->expandedTokens, changed)) return false;
          expansion = {changed ? Place::InExpanded : Place::InArguments, begin, work->expandedTokens.size()};
        }
        if (expansion.place == Place::InExpanded)
          source = TokenSpan(work->expandedTokens).subspan(expansion.begin, expansion.end - expansion.begin);
      }
      list.insert(list.end(), source.begin(), source.end());
      continue;
    }
    if (role == Macro::kPaste) work->pastes.push_back(list.size());
    list.push_back({token, hidden});
  }

  result.clear();
  if (work->pastes.empty()) {
    result.swap(list);
    for (QueuedToken& token : result) token.hidden = hideSets_.Union(token.hidden, hidden);
    return true;
  }
  auto paste = work->pastes.begin();
  for (std::size_t k = 0; k < list.size(); ++k) {
    while (paste != work->pastes.end() && *paste < k) ++paste;
    bool isPaste = paste != work->pastes.end() && *paste == k;
    if (isPaste && !result.empty() && k + 1 < list.size()) {
      QueuedToken left = result.back();
      result.pop_back();
      if (!Paste(left, list[k + 1], hidden, result)) return false;
      ++k;
      continue;
    }
    result.push_back(list[k]);
  }
  for (QueuedToken& token : result) token.hidden = hideSets_.Union(token.hidden, hidden);
  return true;
}

bool Preprocessor::ExpandList(TokenSpan tokens, unsigned depth, TokenList& out, bool& changed) {
  // Most arguments hold no macro at all: settle their identifiers and copy nothing.
  std::size_t firstMacro = tokens.size();
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    QueuedToken& token = tokens[i];
    if (token.token.kind != TokenKind::Identifier || token.settled) continue;
    const Macro* macro = macros_.Resolve(token.token.Name());
    if (!macro || HideSets::Contains(token.hidden, macro))
      token.settled = true;
    else if (firstMacro == tokens.size())
      firstMacro = i;
  }
  changed = firstMacro != tokens.size();
  if (!changed) return true;
  if (depth > kMaxArgumentNesting) {
    REPORT_DIAGNOSTIC(diagnostics_, &tokens.front().token, MacroArgumentsTooDeep);
    Fail(E_FAIL);
    return false;
  }
  const std::size_t outBegin = out.size();
  // Everything before the first macro is final already.
  out.insert(out.end(), tokens.begin(), tokens.begin() + firstMacro);
  auto workLease = tokenLists_.Acquire();
  TokenList& work = *workLease;
  work.assign(tokens.rbegin(), tokens.rend() - firstMacro);  // the next token is at the back
  auto produced = [&] { return work.size() + (out.size() - outBegin); };
  while (!work.empty()) {
    QueuedToken& top = work.back();
    const Macro* macro = top.token.kind == TokenKind::Identifier && !top.settled ? macros_.Resolve(top.token.Name())
                                                                                    : nullptr;
    if (!macro || HideSets::Contains(top.hidden, macro)) {
      if (top.token.kind == TokenKind::Identifier) top.settled = true;
      out.push_back(top);
      work.pop_back();
      continue;
    }
    QueuedToken next = top;
    work.pop_back();
    if (!macro->functionLike) {
      if (!CountExpansion(next.token)) return false;
      const HideSet* hidden = hideSets_.With(next.hidden, macro);
      for (auto it = macro->body.rbegin(); it != macro->body.rend(); ++it) work.push_back({*it, hidden});
      if (produced() > maxQueuedTokens_) return CheckQueueSize(produced(), next.token);
      continue;
    }

    // A call inside an argument must be complete there; otherwise the name waits for the
    // rescan after substitution, where the rest of the call may follow.
    bool complete = false;
    if (!work.empty() && work.back().token.IsOperator('(')) {
      int depthOfBrackets = 0;
      for (std::size_t i = work.size(); i-- > 0;) {
        depthOfBrackets += BracketChange(work[i].token);
        if (depthOfBrackets == 0) {
          complete = true;
          break;
        }
      }
    }
    if (!complete) {
      out.push_back(next);
      continue;
    }
    if (!CountExpansion(next.token)) return false;
    work.pop_back();  // '('
    auto argumentsLease = callArguments_.Acquire();
    CallArguments& arguments = *argumentsLease;
    for (int depthOfBrackets = 1;;) {
      QueuedToken argument = work.back();
      work.pop_back();
      depthOfBrackets += BracketChange(argument.token);
      if (depthOfBrackets == 0) {
        arguments.ends.push_back(arguments.tokens.size());
        break;
      }
      if (depthOfBrackets == 1 && argument.token.IsOperator(','))
        arguments.ends.push_back(arguments.tokens.size());
      else
        arguments.tokens.push_back(argument);
    }
    if (!PairArguments(*macro, arguments, next.token)) {
      out.push_back(next);  // the call's arguments are lost, as on the main input
      continue;
    }
    auto result = tokenLists_.Acquire();
    if (!Substitute(*macro, arguments, hideSets_.With(next.hidden, macro), depth, *result)) return false;
    work.insert(work.end(), result->rbegin(), result->rend());
    if (produced() > maxQueuedTokens_) return CheckQueueSize(produced(), next.token);
  }
  return true;
}

bool Preprocessor::Stringize(std::span<const QueuedToken> tokens, bool charize, const Token& operatorToken,
                             const HideSet* hidden, TokenList& result) {
  const char quote = charize ? '\'' : '"';
  std::string& text = stringizeText_;
  text.assign(1, quote);
  const Token* previous = nullptr;
  for (const QueuedToken& queued : tokens) {
    const Token& token = queued.token;
    if (token.kind == TokenKind::EndOfLine) continue;
    if (previous && previous->start + previous->length != token.start) text += ' ';
    bool inString = token.length > 0 && token.start[0] == '"';
    for (char c : token.Source()) {
      if (c == '"' || (c == '\\' && inString)) text += '\\';
      text += c;
    }
    previous = &token;
  }
  text += quote;
  return TokenizeText(text, operatorToken, true, hidden, result);
}

bool Preprocessor::Paste(const QueuedToken& left, const QueuedToken& right, const HideSet* hidden,
                         TokenList& result) {
  std::string text(left.token.Source());
  text += right.token.Source();
  return TokenizeText(text, left.token, false, hidden, result);
}

bool Preprocessor::TokenizeText(std::string_view text, const Token& position, bool firstOnly,
                                const HideSet* hidden, TokenList& result) {
  const char* copy = store_.Copy(text);
  ShaderTokenizer tokenizer;
  if (!copy ||
      FAILED(tokenizer.Initialise(copy, text.size(), position.fileName, position.line, &store_, &diagnostics_))) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, OutOfMemory);
    Fail(E_OUTOFMEMORY);
    return false;
  }
  for (Token token;;) {
    tokenizer.NextToken(Mode(), token);
    if (token.kind == TokenKind::EndOfFile) break;
    if (token.kind == TokenKind::EndOfLine) continue;
    result.push_back({token, hidden});
    if (firstOnly) break;
  }
  return true;
}

}  // namespace rastro
