// Arbitrary token streams through everything that reads a shader's instructions: the decoder,
// the CPU evaluator (loaded and run for one vertex or pixel) and the GLSL translator. None may
// read outside the stream, crash or hang; what they refuse they refuse with a reason.
#include <cstdint>
#include <cstring>
#include <vector>

#include "ShaderEvaluator.h"
#include "ShaderTranslator.h"

namespace {

// Samples are the coordinates: whatever the shader computes reaches the sampler.
class EchoSampler : public rastro::ShaderTextureSampler {
 public:
  rastro::ShaderVector Sample(UINT, const rastro::ShaderVector& c, float) const override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  // The input as whole tokens, in a buffer exactly that long: a read past it shows under ASan.
  std::vector<DWORD> tokens(size / 4);
  if (tokens.empty()) return 0;
  std::memcpy(tokens.data(), data, tokens.size() * 4);
  rastro::DecodedShader decoded;
  std::string problem;
  if (FAILED(rastro::DecodeShader(tokens.data(), tokens.size(), decoded, &problem))) return 0;

  rastro::ShaderEvaluator evaluator;
  if (SUCCEEDED(evaluator.Load(tokens.data(), tokens.size(), &problem))) {
    rastro::ShaderConstants constants;
    constants.floats.assign(256, {1.5f, -2.0f, 0.25f, 3.0f});
    constants.ints.assign(16, {3, 1, 2, 0});
    constants.bools.assign(16, true);
    EchoSampler sampler;
    if (decoded.version.pixel) {
      rastro::ShaderVaryings inputs;
      inputs.color = {rastro::ShaderVector{0.5f, 0.25f, 1, 1}, rastro::ShaderVector{0, 1, 0.5f, 0}};
      for (auto& set : inputs.texcoord) set = {0.5f, -0.5f, 2.0f, 1.0f};
      evaluator.RunPixel(inputs, constants, &sampler, {3, 4, 0, 0}, false);
    } else {
      std::array<rastro::ShaderVector, 16> inputs{};
      for (auto& input : inputs) input = {1, 2, 3, 1};
      evaluator.RunVertex(inputs, constants, &sampler);
    }
  }
  rastro::GlslShader glsl;
  rastro::TranslateShader(decoded, rastro::ShaderTranslationOptions{}, glsl, &problem);
  return 0;
}
