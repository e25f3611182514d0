#include "TokenRun.h"

namespace rastro {

TokenRun::Role TokenRun::RoleOf(const Token& token) {
  if (token.kind != TokenKind::Operator || token.value.op[1] != 0) return Role::Plain;
  switch (token.value.op[0]) {
    case '(':
    case '[':
    case '{': return Role::Open;
    case ')':
    case ']':
    case '}': return Role::Close;
    case ',': return Role::Comma;
    default: return Role::Plain;
  }
}

std::shared_ptr<const TokenRun> TokenRun::Make(const std::vector<Token>& tokens) {
  auto run = std::make_shared<TokenRun>();
  run->tokens = tokens;
  run->skip.resize(tokens.size());
  run->Seal(0);
  return run;
}

void TokenRun::Seal(std::uint32_t segmentBegin) {
  const std::uint32_t end = Size();
  std::uint32_t nextStop = end;
  for (std::uint32_t i = end; i-- > segmentBegin;) {
    if (RoleOf(tokens[i]) == Role::Plain) {
      skip[i] = nextStop;
    } else {
      skip[i] = i;
      nextStop = i;
    }
  }
  // Any closer ends the innermost open bracket, whatever its shape, as calls count them.
  thread_local std::vector<std::uint32_t> open;
  open.clear();
  for (std::uint32_t i = segmentBegin; i < end; ++i) {
    Role role = RoleOf(tokens[i]);
    if (role == Role::Open) {
      open.push_back(i);
    } else if (role == Role::Close && !open.empty()) {
      skip[open.back()] = i;
      open.pop_back();
    }
  }
}

}  // namespace rastro
