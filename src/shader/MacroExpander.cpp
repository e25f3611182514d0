#include "MacroExpander.h"

#include <algorithm>
#include <string>

#include "ShaderTokenizer.h"

namespace rastro {

using Role = TokenRun::Role;

PendingToken MacroExpander::TakePending() {
  Piece& piece = pending_.back();
  const std::uint32_t index = piece.begin++;
  PendingToken token{piece.run->tokens[index], std::max(piece.depth, piece.run->Depth(index))};
  if (piece.begin == piece.end) pending_.pop_back();
  --pendingTokens_;
  ++work_;
  return token;
}

void MacroExpander::ClearPending() {
  pending_.clear();
  pendingTokens_ = 0;
}

void MacroExpander::Push(PieceList& pieces) {
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
    if (it->Size() == 0) continue;
    pendingTokens_ += it->Size();
    pending_.push_back(std::move(*it));
  }
  pieces.clear();
}

MacroExpander::Outcome MacroExpander::Fail(HRESULT result) {
  fatalResult_ = FAILED(result) ? result : E_FAIL;
  return Outcome::Fatal;
}

void MacroExpander::ReportTooLarge(const Macro& macro, const Token& position) {
  std::string name(macro.name);
  REPORT_DIAGNOSTIC(diagnostics_, &position, MacroExpansionTooLarge, name.c_str());
  Fail(E_FAIL);
}

bool MacroExpander::CountWork(std::uint64_t tokens, const Macro& macro, const Token& position) {
  work_ += tokens;
  if (work_ <= limits_.maxRescannedTokens) return true;
  ReportTooLarge(macro, position);
  return false;
}

MacroExpander::Outcome MacroExpander::Expand(const PendingToken& name, const Macro& macro, Source& source, DWORD mode) {
  if (name.depth >= limits_.maxDepth) {
    std::string macroName(macro.name);
    REPORT_DIAGNOSTIC(diagnostics_, &name.token, MacroExpandsWithoutEnd, macroName.c_str(), limits_.maxDepth);
    return Fail(E_FAIL);
  }
  // Tokens delivered from the queue count too: a macro that ends with its own name expands
  // again in place, so the queue never grows while its output does.
  if (++expansions_ > limits_.maxExpansions || !CountWork(0, macro, name.token)) {
    if (fatalResult_ == S_OK) ReportTooLarge(macro, name.token);
    return Outcome::Fatal;
  }
  const DWORD depth = name.depth + 1;
  const auto bodySize = static_cast<std::uint32_t>(macro.body.size());

  if (!macro.functionLike) {
    if (bodySize == 0) return Outcome::Expanded;
    if (pendingTokens_ + bodySize > limits_.maxQueuedTokens) {
      ReportTooLarge(macro, name.token);
      return Outcome::Fatal;
    }
    pending_.push_back({macro.bodyRun, 0, bodySize, depth});
    pendingTokens_ += bodySize;
    return Outcome::Expanded;
  }

  // A call needs '(' next: the queue's front token, or the very next source character (a
  // blank between name and parenthesis means no call).
  if (!pending_.empty()) {
    const Piece& front = pending_.back();
    if (!front.run->tokens[front.begin].IsOperator('(')) return Outcome::NotExpanded;
    TakePending();
  } else {
    if (source.PeekChar() != '(') return Outcome::NotExpanded;
    Token parenthesis;
    source.NextToken(parenthesis);
  }

  if (!CollectArguments(source, macro, name.token, arguments_))
    return fatalResult_ == S_OK ? Outcome::NotExpanded : Outcome::Fatal;
  if (!PairArguments(macro, arguments_, name.token)) return Outcome::NotExpanded;
  const bool substituted = Substitute(macro, arguments_, depth, mode, result_);
  arguments_.pieces.clear();
  if (!substituted) return Outcome::Fatal;
  std::uint64_t size = 0;
  for (const Piece& piece : result_) size += piece.Size();
  if (pendingTokens_ + size > limits_.maxQueuedTokens) {
    ReportTooLarge(macro, name.token);
    return Outcome::Fatal;
  }
  Push(result_);
  return Outcome::Expanded;
}

bool MacroExpander::CollectArguments(Source& source, const Macro& macro, const Token& name, CallArguments& arguments) {
  arguments.pieces.clear();
  arguments.ends.clear();
  arguments.sizes.clear();
  int depth = 1;
  std::uint64_t size = 0;  // tokens of the argument being collected
  auto addPiece = [&](const RunPointer& run, std::uint32_t begin, std::uint32_t end, DWORD pieceDepth) {
    if (end <= begin) return;
    arguments.pieces.push_back({run, begin, end, pieceDepth});
    size += end - begin;
  };
  auto closeArgument = [&] {
    arguments.ends.push_back(arguments.pieces.size());
    arguments.sizes.push_back(size);
    size = 0;
  };

  // First from the queue: bracket groups that close within a piece are stepped over whole,
  // and runs of plain tokens at once.
  std::uint64_t steps = 0;
  while (!pending_.empty()) {
    Piece& piece = pending_.back();
    const TokenRun& run = *piece.run;
    std::uint32_t i = piece.begin;
    std::uint32_t start = i;
    bool closed = false;
    while (i < piece.end && !closed) {
      ++steps;
      switch (TokenRun::RoleOf(run.tokens[i])) {
        case Role::Plain: i = std::min(run.skip[i], piece.end); break;
        case Role::Open:
          if (run.skip[i] != i && run.skip[i] < piece.end) {
            i = run.skip[i] + 1;
          } else {
            ++depth;
            ++i;
          }
          break;
        case Role::Close:
          if (--depth == 0) {
            addPiece(piece.run, start, i, piece.depth);
            closeArgument();
            closed = true;
          }
          ++i;
          break;
        case Role::Comma:
          if (depth == 1) {
            addPiece(piece.run, start, i, piece.depth);
            closeArgument();
            start = i + 1;
          }
          ++i;
          break;
      }
    }
    pendingTokens_ -= i - piece.begin;
    if (!closed) addPiece(piece.run, start, piece.end, piece.depth);
    if (closed && i < piece.end) {
      piece.begin = i;
    } else {
      pending_.pop_back();
    }
    if (closed) return CountWork(steps, macro, name);
  }
  if (!CountWork(steps, macro, name)) return false;

  // Then from the source, up to the closing parenthesis; commas at the call's level are kept
  // out of the run and mark where arguments end.
  TokenRun& scratch = Scratch();
  const std::uint32_t segment = scratch.Size();
  separators_.clear();
  for (;;) {
    Token token;
    source.NextToken(token);
    if (token.kind == TokenKind::EndOfFile) {
      REPORT_DIAGNOSTIC(diagnostics_, &token, EndOfFileInMacroCall);
      scratch.Seal(segment);
      return false;
    }
    const Role role = TokenRun::RoleOf(token);
    if (role == Role::Open) ++depth;
    if (role == Role::Close && --depth == 0) break;
    if (role == Role::Comma && depth == 1) {
      separators_.push_back(scratch.Size());
      continue;
    }
    scratch.Append(token, 0);
    if (scratch.Size() - segment > limits_.maxQueuedTokens) {
      scratch.Seal(segment);
      ReportTooLarge(macro, name);
      return false;
    }
  }
  scratch.Seal(segment);
  std::uint32_t start = segment;
  for (std::uint32_t separator : separators_) {
    addPiece(scratch_, start, separator, 0);
    closeArgument();
    start = separator;
  }
  addPiece(scratch_, start, scratch.Size(), 0);
  closeArgument();
  return true;
}

bool MacroExpander::PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name) {
  // Pairing stops at the first empty argument; whatever is left unpaired on either side fails.
  bool paired = arguments.sizes.size() == macro.parameters.size();
  for (std::size_t i = 0; paired && i < arguments.sizes.size(); ++i) paired = arguments.sizes[i] != 0;
  if (paired) return true;
  std::string macroName(macro.name);
  REPORT_DIAGNOSTIC(diagnostics_, &name, TooFewMacroArguments, macroName.c_str());
  return false;
}

bool MacroExpander::Substitute(const Macro& macro, const CallArguments& arguments, DWORD depth, DWORD mode,
                               PieceList& result) {
  const std::vector<Token>& body = macro.body;
  const auto bodySize = static_cast<std::uint32_t>(body.size());
  result.clear();
  pastes_.clear();
  std::uint64_t produced = 0;  // tokens in `result` so far

  constexpr std::uint32_t kNone = ~0u;
  std::uint32_t plainStart = kNone;
  // Ends a stretch of the body's own tokens, noting where its '##' operators fall.
  auto flushPlain = [&](std::uint32_t upTo) {
    if (plainStart == kNone) return;
    for (std::uint32_t k = plainStart; k < upTo; ++k)
      if (macro.roles[k] == Macro::kPaste) pastes_.push_back(produced + (k - plainStart));
    result.push_back({macro.bodyRun, plainStart, upTo, depth});
    produced += upTo - plainStart;
    plainStart = kNone;
  };

  enum class Quote { None, String, Character } quote = Quote::None;
  const Token* quoteOperator = nullptr;
  for (std::uint32_t i = 0; i < bodySize; ++i) {
    const int role = macro.roles[i];
    if (role == Macro::kStringize || role == Macro::kCharize) {
      flushPlain(i);
      quote = role == Macro::kStringize ? Quote::String : Quote::Character;
      quoteOperator = &body[i];
      continue;
    }
    if (quote != Quote::None) {
      flushPlain(i);
      Piece single{macro.bodyRun, i, i + 1, depth};
      const Piece* first = &single;
      const Piece* last = first + 1;
      if (role >= 0) {
        first = arguments.pieces.data() + (role == 0 ? 0 : arguments.ends[role - 1]);
        last = arguments.pieces.data() + arguments.ends[role];
      }
      const std::size_t before = result.size();
      if (!Stringize(first, last, quote == Quote::Character, *quoteOperator, depth, mode, result)) return false;
      if (result.size() > before) produced += result.back().Size();
      quote = Quote::None;
      continue;
    }
    if (role >= 0) {
      flushPlain(i);
      const std::size_t begin = role == 0 ? 0 : arguments.ends[role - 1];
      // An argument's tokens pass through this expansion too: a call that hands its own name
      // back through its arguments must deepen like any other.
      for (std::size_t k = begin; k < arguments.ends[role]; ++k) {
        const Piece& piece = arguments.pieces[k];
        result.push_back({piece.run, piece.begin, piece.end, std::max(piece.depth, depth)});
      }
      produced += arguments.sizes[role];
      continue;
    }
    if (plainStart == kNone) plainStart = i;
  }
  flushPlain(bodySize);
  return pastes_.empty() || Paste(macro, result, depth, mode);
}

bool MacroExpander::Paste(const Macro& macro, PieceList& result, DWORD depth, DWORD mode) {
  // A token, '##' and a further token become the token(s) of their joined texts.
  std::vector<PendingToken>& list = flat_;
  list.clear();
  for (const Piece& piece : result)
    for (std::uint32_t k = piece.begin; k < piece.end; ++k)
      list.push_back({piece.run->tokens[k], std::max(piece.depth, piece.run->Depth(k))});
  if (!CountWork(list.size(), macro, list.empty() ? Token{} : list.front().token)) return false;

  TokenRun& scratch = Scratch();
  const std::uint32_t segment = scratch.Size();
  auto paste = pastes_.begin();
  for (std::size_t k = 0; k < list.size(); ++k) {
    while (paste != pastes_.end() && *paste < k) ++paste;
    const bool isPaste = paste != pastes_.end() && *paste == k;
    if (isPaste && scratch.Size() > segment && k + 1 < list.size()) {
      const Token left = scratch.tokens.back();
      scratch.tokens.pop_back();
      scratch.depths.pop_back();
      scratch.skip.pop_back();
      std::string text(left.Source());
      text += list[k + 1].token.Source();
      if (!TokenizeText(text, left, false, mode, depth, scratch)) {
        scratch.Seal(segment);
        return false;
      }
      ++k;
      continue;
    }
    scratch.Append(list[k].token, list[k].depth);
  }
  scratch.Seal(segment);
  result.clear();
  result.push_back({scratch_, segment, scratch.Size(), 0});
  return true;
}

bool MacroExpander::Stringize(const Piece* first, const Piece* last, bool charize, const Token& operatorToken,
                              DWORD depth, DWORD mode, PieceList& result) {
  const char quote = charize ? '\'' : '"';
  std::string& text = quotedText_;
  text.assign(1, quote);
  const Token* previous = nullptr;
  for (const Piece* piece = first; piece != last; ++piece) {
    for (std::uint32_t k = piece->begin; k < piece->end; ++k) {
      const Token& token = piece->run->tokens[k];
      if (token.kind == TokenKind::EndOfLine) continue;
      if (previous && previous->start + previous->length != token.start) text += ' ';
      const bool inString = token.length > 0 && token.start[0] == '"';
      for (char c : token.Source()) {
        if (c == '"' || (c == '\\' && inString)) text += '\\';
        text += c;
      }
      previous = &token;
    }
  }
  text += quote;
  TokenRun& scratch = Scratch();
  const std::uint32_t segment = scratch.Size();
  const bool made = TokenizeText(text, operatorToken, true, mode, depth, scratch);
  scratch.Seal(segment);
  if (made && scratch.Size() > segment) result.push_back({scratch_, segment, scratch.Size(), depth});
  return made;
}

TokenRun& MacroExpander::Scratch() {
  constexpr std::uint32_t kFreshRunAbove = 1u << 16;
  if (scratch_ && scratch_.use_count() == 1) {
    scratch_->Clear();
  } else if (!scratch_ || scratch_->Size() > kFreshRunAbove) {
    scratch_ = std::make_shared<TokenRun>();  // the old run lives on while pieces refer to it
  }
  return *scratch_;
}

bool MacroExpander::TokenizeText(std::string_view text, const Token& position, bool firstOnly, DWORD mode, DWORD depth,
                                 TokenRun& run) {
  const char* copy = store_.Copy(text);
  ShaderTokenizer tokenizer;
  if (!copy ||
      FAILED(tokenizer.Initialise(copy, text.size(), position.fileName, position.line, &store_, &diagnostics_))) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, OutOfMemory);
    Fail(E_OUTOFMEMORY);
    return false;
  }
  for (Token token;;) {
    tokenizer.NextToken(mode, token);
    if (token.kind == TokenKind::EndOfFile) break;
    if (token.kind == TokenKind::EndOfLine) continue;
    run.Append(token, depth);
    if (firstOnly) break;
  }
  return true;
}

}  // namespace rastro
