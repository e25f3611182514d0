// Tokens that never change once made — a macro's body, the arguments of a call read from the
// source, the result of pasting — with what scanning a call's arguments needs to know of them:
// where each bracket closes and where the next bracket or comma is.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Token.h"

namespace rastro {

struct TokenRun {
  enum class Role : std::uint8_t { Plain, Open, Close, Comma };

  std::vector<Token> tokens;
  std::vector<DWORD> depths;  // expansion depth per token; empty when all are 0
  // For an opening bracket closed within the run: the index of its closer. For any other
  // plain token: the index of the next bracket or comma (or the end). Else: its own index.
  std::vector<std::uint32_t> skip;

  static std::shared_ptr<const TokenRun> Make(const std::vector<Token>& tokens);
  static Role RoleOf(const Token& token);
  DWORD Depth(std::uint32_t index) const { return depths.empty() ? 0 : depths[index]; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(tokens.size()); }

  // Runs are built by appending segments: tokens, then Seal over the segment, after which the
  // segment never changes (appending more does not disturb it). Brackets match within a segment.
  void Append(const Token& token, DWORD depth) {
    tokens.push_back(token);
    depths.push_back(depth);
    skip.push_back(0);
  }
  void Seal(std::uint32_t segmentBegin);
  void Clear() {
    tokens.clear();
    depths.clear();
    skip.clear();
  }
};

}  // namespace rastro
