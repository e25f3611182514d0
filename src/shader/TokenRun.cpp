#include "TokenRun.h"

namespace rastro {

TokenRun::Role TokenRun::RoleOf(const Token& token) {
  if (token.kind != TokenKind::Operator || token.value.op[1] != 0) return Role::Plain;
  switch (token.value.op[0]) {
    case '(': case '[': case '{': return Role::Open;
    case ')': case ']': case '}': return Role::Close;
    case ',': return Role::Comma;
    default: return Role::Plain;
  }
}

std::shared_ptr<const TokenRun> TokenRun::Make(std::vector<Token> tokens, std::vector<DWORD> depths) {
  auto run = std::make_shared<TokenRun>();
  const auto size = static_cast<std::uint32_t>(tokens.size());
  run->skip.resize(size);
  // Any closer ends the innermost open bracket, whatever its shape, as calls count them.
  std::vector<std::uint32_t> open;
  std::uint32_t nextStop = size;
  for (std::uint32_t i = size; i-- > 0;) {
    if (RoleOf(tokens[i]) == Role::Plain) {
      run->skip[i] = nextStop;
    } else {
      run->skip[i] = i;
      nextStop = i;
    }
  }
  for (std::uint32_t i = 0; i < size; ++i) {
    Role role = RoleOf(tokens[i]);
    if (role == Role::Open) {
      open.push_back(i);
    } else if (role == Role::Close && !open.empty()) {
      run->skip[open.back()] = i;
      open.pop_back();
    }
  }
  run->tokens = std::move(tokens);
  run->depths = std::move(depths);
  return run;
}

}  // namespace rastro
