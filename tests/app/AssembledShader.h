// A shader file of the data folder assembled by the published entry point and decoded, for
// tests that check what a test's shader computes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ShaderEvaluator.h"
#include "d3dx9shader.h"

namespace rastro::testing {

struct Assembled {
  DecodedShader shader;
  std::vector<DWORD> tokens;
};

inline Assembled Assemble(const char* file) {
  Assembled out;
  ID3DXBuffer* buffer = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA((std::filesystem::path(RASTRO_DATA_DIR) / file).c_str(), nullptr, nullptr, 0,
                                           &buffer, &errors);
  std::string messages =
      errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize()) : "";
  if (errors) errors->Release();
  EXPECT_EQ(hr, D3D_OK) << file << ": " << messages;
  if (!buffer) return out;
  const auto* tokens = static_cast<const DWORD*>(buffer->GetBufferPointer());
  out.tokens.assign(tokens, tokens + buffer->GetBufferSize() / 4);
  buffer->Release();
  std::string problem;
  EXPECT_EQ(DecodeShader(out.tokens.data(), out.tokens.size(), out.shader, &problem), D3D_OK)
      << file << ": " << problem;
  return out;
}

// A D3DCOLOR as the evaluator's RGBA vector.
inline ShaderVector Unpack(DWORD colour) {
  return {((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f,
          (colour >> 24) / 255.0f};
}

}  // namespace rastro::testing
