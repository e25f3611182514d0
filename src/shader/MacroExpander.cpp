#include "MacroExpander.h"

#include <algorithm>
#include <string>

#include "ShaderTokenizer.h"

namespace rastro {

namespace {

int BracketChange(const Token& token) {
  if (token.kind != TokenKind::Operator || token.value.op[1] != 0) return 0;
  switch (token.value.op[0]) {
    case '(': case '[': case '{': return 1;
    case ')': case ']': case '}': return -1;
    default: return 0;
  }
}

}  // namespace

PendingToken MacroExpander::TakePending() {
  PendingToken token = pending_.back();
  pending_.pop_back();
  ++rescanned_;
  return token;
}

MacroExpander::Outcome MacroExpander::Fail(HRESULT result) {
  fatalResult_ = FAILED(result) ? result : E_FAIL;
  return Outcome::Fatal;
}

bool MacroExpander::CheckQueueRoom(std::size_t extra, const Macro& macro, const Token& position) {
  if (pending_.size() + extra <= limits_.maxQueuedTokens) return true;
  std::string name(macro.name);
  REPORT_DIAGNOSTIC(diagnostics_, &position, MacroExpansionTooLarge, name.c_str());
  return false;
}

MacroExpander::Outcome MacroExpander::Expand(const PendingToken& name, const Macro& macro, Source& source,
                                             DWORD mode) {
  std::string macroName;
  if (name.depth >= limits_.maxDepth) {
    macroName = macro.name;
    REPORT_DIAGNOSTIC(diagnostics_, &name.token, MacroExpandsWithoutEnd, macroName.c_str(), limits_.maxDepth);
    return Fail(E_FAIL);
  }
  if (++expansions_ > limits_.maxExpansions) {
    macroName = macro.name;
    REPORT_DIAGNOSTIC(diagnostics_, &name.token, MacroExpansionTooLarge, macroName.c_str());
    return Fail(E_FAIL);
  }
  const DWORD depth = name.depth + 1;

  if (!macro.functionLike) {
    if (!CheckQueueRoom(macro.body.size(), macro, name.token)) return Fail(E_FAIL);
    for (auto it = macro.body.rbegin(); it != macro.body.rend(); ++it) pending_.push_back({*it, depth});
    return Outcome::Expanded;
  }

  // A call needs '(' next: the queue's front token, or the very next source character (a
  // blank between name and parenthesis means no call).
  if (!pending_.empty()) {
    if (!pending_.back().token.IsOperator('(')) return Outcome::NotExpanded;
    TakePending();
  } else {
    if (source.PeekChar() != '(') return Outcome::NotExpanded;
    Token parenthesis;
    source.NextToken(parenthesis);
  }

  auto arguments = callArguments_.Acquire();
  if (!CollectArguments(source, macro, name.token, *arguments)) return fatalResult_ == S_OK ? Outcome::NotExpanded : Outcome::Fatal;
  if (!PairArguments(macro, *arguments, name.token)) return Outcome::NotExpanded;
  auto result = tokenLists_.Acquire();
  if (!Substitute(macro, *arguments, depth, mode, *result)) return Fail(E_OUTOFMEMORY);
  if (!CheckQueueRoom(result->size(), macro, name.token)) return Fail(E_FAIL);
  pending_.insert(pending_.end(), result->rbegin(), result->rend());
  return Outcome::Expanded;
}

bool MacroExpander::NextCallToken(Source& source, PendingToken& token) {
  if (!pending_.empty()) {
    token = TakePending();
    return rescanned_ <= limits_.maxRescannedTokens;
  }
  token.depth = 0;
  source.NextToken(token.token);
  return true;
}

bool MacroExpander::CollectArguments(Source& source, const Macro& macro, const Token& name,
                                     CallArguments& arguments) {
  for (int depth = 1;;) {
    // Read in place; separators and the closing parenthesis are taken back out.
    PendingToken& argument = arguments.tokens.emplace_back();
    if (!NextCallToken(source, argument)) {
      std::string macroName(macro.name);
      REPORT_DIAGNOSTIC(diagnostics_, &name, MacroExpansionTooLarge, macroName.c_str());
      Fail(E_FAIL);
      return false;
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
    if (arguments.tokens.size() > limits_.maxQueuedTokens) {
      std::string macroName(macro.name);
      REPORT_DIAGNOSTIC(diagnostics_, &name, MacroExpansionTooLarge, macroName.c_str());
      Fail(E_FAIL);
      return false;
    }
  }
}

bool MacroExpander::PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name) {
  // Pairing stops at the first empty argument; whatever is left unpaired on either side fails.
  bool paired = arguments.Count() == macro.parameters.size();
  for (std::size_t i = 0; paired && i < arguments.Count(); ++i) paired = arguments.ends[i] != arguments.Begin(i);
  if (paired) return true;
  std::string macroName(macro.name);
  REPORT_DIAGNOSTIC(diagnostics_, &name, TooFewMacroArguments, macroName.c_str());
  return false;
}

bool MacroExpander::Substitute(const Macro& macro, const CallArguments& arguments, DWORD depth, DWORD mode,
                               TokenList& result) {
  const std::vector<Token>& body = macro.body;
  auto listLease = tokenLists_.Acquire();
  TokenList& list = *listLease;  // the body with its arguments in place, before pasting
  std::vector<std::size_t> pastes;  // where the body's own '##' operators are in `list`

  enum class Quote { None, String, Character } quote = Quote::None;
  const Token* quoteOperator = nullptr;

  for (std::size_t i = 0; i < body.size(); ++i) {
    const Token& token = body[i];
    const int role = macro.roles[i];
    if (role == Macro::kStringize || role == Macro::kCharize) {
      quote = role == Macro::kStringize ? Quote::String : Quote::Character;
      quoteOperator = &token;
      continue;
    }
    const PendingToken* first = nullptr;
    const PendingToken* last = nullptr;
    PendingToken single{token, depth};
    if (role >= 0) {
      first = arguments.tokens.data() + arguments.Begin(static_cast<std::size_t>(role));
      last = arguments.tokens.data() + arguments.ends[static_cast<std::size_t>(role)];
    } else {
      first = &single;
      last = first + 1;
    }
    if (quote != Quote::None) {
      if (!Stringize(first, last, quote == Quote::Character, *quoteOperator, depth, mode, list)) return false;
      quote = Quote::None;
      continue;
    }
    if (role == Macro::kPaste) pastes.push_back(list.size());
    // An argument's tokens pass through this expansion too: a call that hands its own name
    // back through its arguments must deepen like any other.
    for (const PendingToken* token = first; token != last; ++token)
      list.push_back({token->token, std::max(token->depth, depth)});
  }

  result.clear();
  if (pastes.empty()) {
    result.swap(list);
    return true;
  }
  // A token, '##' and a further token become the token(s) of their joined texts.
  auto paste = pastes.begin();
  for (std::size_t k = 0; k < list.size(); ++k) {
    while (paste != pastes.end() && *paste < k) ++paste;
    const bool isPaste = paste != pastes.end() && *paste == k;
    if (isPaste && !result.empty() && k + 1 < list.size()) {
      PendingToken left = result.back();
      result.pop_back();
      std::string text(left.token.Source());
      text += list[k + 1].token.Source();
      if (!TokenizeText(text, left.token, false, depth, mode, result)) return false;
      ++k;
      continue;
    }
    result.push_back(list[k]);
  }
  return true;
}

bool MacroExpander::Stringize(const PendingToken* first, const PendingToken* last, bool charize,
                              const Token& operatorToken, DWORD depth, DWORD mode, TokenList& result) {
  const char quote = charize ? '\'' : '"';
  std::string& text = quotedText_;
  text.assign(1, quote);
  const Token* previous = nullptr;
  for (const PendingToken* queued = first; queued != last; ++queued) {
    const Token& token = queued->token;
    if (token.kind == TokenKind::EndOfLine) continue;
    if (previous && previous->start + previous->length != token.start) text += ' ';
    const bool inString = token.length > 0 && token.start[0] == '"';
    for (char c : token.Source()) {
      if (c == '"' || (c == '\\' && inString)) text += '\\';
      text += c;
    }
    previous = &token;
  }
  text += quote;
  return TokenizeText(text, operatorToken, true, depth, mode, result);
}

bool MacroExpander::TokenizeText(std::string_view text, const Token& position, bool firstOnly, DWORD depth,
                                 DWORD mode, TokenList& result) {
  const char* copy = store_.Copy(text);
  ShaderTokenizer tokenizer;
  if (!copy ||
      FAILED(tokenizer.Initialise(copy, text.size(), position.fileName, position.line, &store_, &diagnostics_))) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, OutOfMemory);
    return false;
  }
  for (Token token;;) {
    tokenizer.NextToken(mode, token);
    if (token.kind == TokenKind::EndOfFile) break;
    if (token.kind == TokenKind::EndOfLine) continue;
    result.push_back({token, depth});
    if (firstOnly) break;
  }
  return true;
}

}  // namespace rastro
