// Macro expansion for the Preprocessor: a call's arguments are collected, substituted into the
// body as written (with stringizing, charizing and pasting), and the result is put at the front
// of the pending queue, where it is read again and macros in it expand in turn.
//
// Nothing keeps a macro from expanding inside its own expansion, so some sources would expand
// forever; every expansion is therefore bounded in nesting, count, queue size and the tokens
// read back from the queue, and passing a bound is a fatal error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DiagnosticList.h"
#include "MacroTable.h"
#include "ScratchPool.h"
#include "StringStore.h"
#include "Token.h"

namespace rastro {

// A token waiting in the pending queue, with the number of expansions it came out of: a token
// of the source is at depth 0, and a macro's body expanded for a name at depth d gives tokens
// at depth d + 1, its arguments' tokens included (unless they are deeper already).
struct PendingToken {
  Token token;
  DWORD depth = 0;
};

struct ExpansionLimits {
  DWORD maxDepth = 1u << 16;                       // nested expansions behind one token
  std::uint64_t maxExpansions = 1ull << 24;        // expansions in the whole run
  std::size_t maxQueuedTokens = 1u << 20;          // tokens waiting at once
  std::uint64_t maxRescannedTokens = 1ull << 26;   // tokens taken back out of the queue in all
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
  void ClearPending() { pending_.clear(); }

  // Expands macro `macro` named by `name`; `mode` is the tokenizer mode for the texts of
  // stringizing and pasting.
  Outcome Expand(const PendingToken& name, const Macro& macro, Source& source, DWORD mode);
  HRESULT FatalResult() const { return fatalResult_; }

 private:
  using TokenList = std::vector<PendingToken>;

  // The arguments of one call: all their tokens in order, and where each one ends.
  struct CallArguments {
    TokenList tokens;
    std::vector<std::size_t> ends;

    std::size_t Count() const { return ends.size(); }
    std::size_t Begin(std::size_t index) const { return index == 0 ? 0 : ends[index - 1]; }
    void clear() {
      tokens.clear();
      ends.clear();
    }
    std::size_t capacity() const { return tokens.capacity(); }
  };

  bool NextCallToken(Source& source, PendingToken& token);
  bool CollectArguments(Source& source, const Macro& macro, const Token& name, CallArguments& arguments);
  bool PairArguments(const Macro& macro, const CallArguments& arguments, const Token& name);
  bool Substitute(const Macro& macro, const CallArguments& arguments, DWORD depth, DWORD mode, TokenList& result);
  bool Stringize(const PendingToken* first, const PendingToken* last, bool charize, const Token& operatorToken,
                 DWORD depth, DWORD mode, TokenList& result);
  bool TokenizeText(std::string_view text, const Token& position, bool firstOnly, DWORD depth, DWORD mode,
                    TokenList& result);
  bool CheckQueueRoom(std::size_t extra, const Macro& macro, const Token& position);
  Outcome Fail(HRESULT result);

  DiagnosticList& diagnostics_;
  StringStore& store_;
  ExpansionLimits limits_;
  TokenList pending_;  // the queue's front is the back of the vector
  ScratchPool<CallArguments> callArguments_;
  ScratchPool<TokenList> tokenLists_;
  std::string quotedText_;
  std::uint64_t expansions_ = 0;
  std::uint64_t rescanned_ = 0;
  HRESULT fatalResult_ = S_OK;
};

}  // namespace rastro
