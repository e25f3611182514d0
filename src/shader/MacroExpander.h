// Macro expansion for the Preprocessor: a call's arguments are collected, substituted into the
// body as written (with stringizing, charizing and pasting), and the result is put at the front
// of the pending queue, where it is read again and macros in it expand in turn.
//
// The queue holds stretches of immutable token runs (macro bodies, arguments read from the
// source, the results of pasting) rather than copies of tokens, and each run knows where its
// brackets close, so a call whose arguments come back from the queue costs the same however
// long they are. Nothing keeps a macro from expanding inside its own expansion, so some
// sources would expand forever; every expansion is therefore bounded in nesting, count, queue
// size and the tokens read back from the queue, and passing a bound is a fatal error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DiagnosticList.h"
#include "MacroTable.h"
#include "StringStore.h"
#include "Token.h"
#include "TokenRun.h"

namespace rastro {

// A token with the number of expansions it came out of: a token of the source is at depth 0,
// and a macro's body expanded for a name at depth d gives tokens at depth d + 1, its
// arguments' tokens included (unless they are deeper already).
struct PendingToken {
  Token token;
  DWORD depth = 0;
};

struct ExpansionLimits {
  DWORD maxDepth = 1u << 20;                      // nested expansions behind one token
  std::uint64_t maxExpansions = 1ull << 24;       // expansions in the whole run
  std::uint64_t maxQueuedTokens = 1ull << 20;     // tokens waiting at once
  std::uint64_t maxRescannedTokens = 1ull << 22;  // tokens read back or copied by expansion, in all
};

class MacroExpander {
 public:
  // Where a call's parenthesis and arguments come from once the pending queue is empty.
  class Source {
   public:
    virtual void NextToken(Token& token) = 0;
    // The next character of the source, or -1 at its end.
    virtual int PeekChar() const = 0;

   protected:
    ~Source() = default;
  };

  enum class Outcome {
    Expanded,     // the expansion's tokens are at the front of the queue
    NotExpanded,  // the name stays an ordinary identifier (any message is recorded)
    Fatal,        // a bound was passed or memory ran out; FatalResult() says which
  };

  MacroExpander(DiagnosticList& diagnostics, StringStore& store) : diagnostics_(diagnostics), store_(store) {}

  void SetLimits(const ExpansionLimits& limits) { limits_ = limits; }

  bool HasPending() const { return !pending_.empty(); }
  // Removes and returns the queue's front token. Call only when HasPending().
  PendingToken TakePending();
  void ClearPending();

  // Expands macro `macro` named by `name`; `mode` is the tokenizer mode for the texts of
  // stringizing and pasting.
  Outcome Expand(const PendingToken& name, const Macro& macro, Source& source, DWORD mode);
  HRESULT FatalResult() const { return fatalResult_; }

 private:
  using RunPointer = std::shared_ptr<const TokenRun>;
  // Tokens [begin, end) of a run, none shallower than `depth`.
  struct Piece {
    RunPointer run;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    DWORD depth = 0;
    std::uint32_t Size() const { return end - begin; }
  };
  using PieceList = std::vector<Piece>;
  // The arguments of one call: their pieces in order, and where each argument's pieces end.
  struct CallArguments {
    PieceList pieces;
    std::vector<std::size_t> ends;
    std::vector<std::uint64_t> sizes;  // tokens per argument
  };

  bool CollectArguments(Source& source, const Macro& macro, const Token& name, CallArguments& arguments);
  bool ReadArgumentsFromSource(Source& source, const Macro& macro, const Token& name, int depth,
                               CallArguments& arguments);
  bool PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name);
  bool Substitute(const Macro& macro, const CallArguments& arguments, DWORD depth, DWORD mode, PieceList& result);
  bool Paste(const Macro& macro, PieceList& result, DWORD depth, DWORD mode);
  bool Stringize(const Piece* first, const Piece* last, bool charize, const Token& operatorToken, DWORD depth,
                 DWORD mode, PieceList& result);
  // Appends the tokens of `text` to `run` at `depth`.
  bool TokenizeText(std::string_view text, const Token& position, bool firstOnly, DWORD mode, DWORD depth,
                    TokenRun& run);
  // The run new tokens are appended to: the same one again once nothing refers to it.
  TokenRun& Scratch();
  bool CountWork(std::uint64_t tokens, const Macro& macro, const Token& position);
  void Push(PieceList& pieces);
  Outcome Fail(HRESULT result);
  void ReportTooLarge(const Macro& macro, const Token& position);

  DiagnosticList& diagnostics_;
  StringStore& store_;
  ExpansionLimits limits_;
  PieceList pending_;  // the queue's front is the front of the last piece
  std::uint64_t pendingTokens_ = 0;
  // Working storage of one call, reused: expansion never nests within itself.
  CallArguments arguments_;
  PieceList result_;
  std::vector<std::uint64_t> pastes_;  // where the body's own '##' operators fall in the result
  std::vector<PendingToken> flat_;
  std::vector<std::uint32_t> separators_;
  std::shared_ptr<TokenRun> scratch_;
  std::string quotedText_;
  std::uint64_t expansions_ = 0;
  std::uint64_t work_ = 0;
  HRESULT fatalResult_ = S_OK;
};

}  // namespace rastro
