#include "ShaderEvaluator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rastro {

namespace {

// Instructions one run may execute before it is cut short; loops of shader models 2 and 3 are
// bounded, but a hand-made stream may nest them deeply.
constexpr UINT kMaxSteps = 1u << 20;

enum class Flow { Normal, Break, Return };

float Saturate(float x) { return std::clamp(x, 0.0f, 1.0f); }

// A float as an address-register integer: NaN as 0, the rest limited to what indexes anything.
int AddressValue(float x) {
  if (std::isnan(x)) return 0;
  return static_cast<int>(std::clamp(x, -16777216.0f, 16777216.0f));
}

// A register number plus a relative offset, or -1 (no register) when the sum leaves int range.
int OffsetNumber(long long number) { return number < 0 || number > (1 << 24) ? -1 : static_cast<int>(number); }

bool Compare(D3DSHADER_COMPARISON comparison, float a, float b) {
  switch (comparison) {
    case D3DSPC_GT: return a > b;
    case D3DSPC_EQ: return a == b;
    case D3DSPC_GE: return a >= b;
    case D3DSPC_LT: return a < b;
    case D3DSPC_NE: return a != b;
    case D3DSPC_LE: return a <= b;
    default: return false;
  }
}

float Dot3(const ShaderVector& a, const ShaderVector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
float Dot4(const ShaderVector& a, const ShaderVector& b) { return Dot3(a, b) + a[3] * b[3]; }
ShaderVector Splat(float x) { return {x, x, x, x}; }

}  // namespace

struct ShaderEvaluator::Machine {
  const ShaderConstants* constants = nullptr;
  const ShaderTextureSampler* textures = nullptr;
  std::array<ShaderVector, 32> r{};
  std::array<ShaderVector, 16> v{};
  std::array<ShaderVector, 8> t{};   // ps: texture registers
  std::array<ShaderVector, 8> tc{};  // ps: the interpolated texture coordinates
  std::vector<ShaderVector> c;
  std::array<std::array<int, 4>, 16> i{};
  std::array<bool, 16> b{};
  std::array<int, 4> a{};
  int aL = 0;
  std::array<bool, 4> p{};
  ShaderVector vPos{};
  float vFace = 1.0f;
  // Outputs.
  ShaderVector oPos{0, 0, 0, 1};
  std::array<ShaderVector, 2> oD{};
  std::array<ShaderVector, 8> oT{};
  std::array<ShaderVector, 16> o{};
  float oFog = 0.0f, oPts = 1.0f;
  std::array<ShaderVector, 4> oC{};
  float oDepth = 0.0f;
  bool depthWritten = false;
  bool killed = false;
  // Dot products of texm3x2pad / texm3x3pad rows, for the instruction that completes them.
  std::array<float, 3> rows{};
  UINT steps = 0;
};

HRESULT ShaderEvaluator::Load(const DWORD* tokens, size_t available, std::string* problem) {
  HRESULT hr = DecodeShader(tokens, available, shader_, problem);
  if (FAILED(hr)) return hr;
  inputs_.clear();
  const std::vector<ShaderInstruction>& list = shader_.instructions;
  partner_.assign(list.size(), list.size());
  labels_.fill(list.size());
  std::vector<size_t> open;
  for (size_t index = 0; index < list.size(); ++index) {
    const ShaderInstruction& instruction = list[index];
    switch (instruction.opcode) {
      case D3DSIO_IF:
      case D3DSIO_IFC:
      case D3DSIO_LOOP:
      case D3DSIO_REP: open.push_back(index); break;
      case D3DSIO_ELSE:
        if (open.empty() || (list[open.back()].opcode != D3DSIO_IF && list[open.back()].opcode != D3DSIO_IFC)) {
          if (problem) *problem = "else without if";
          return D3DERR_INVALIDCALL;
        }
        partner_[open.back()] = index;
        open.back() = index;
        break;
      case D3DSIO_ENDIF:
      case D3DSIO_ENDLOOP:
      case D3DSIO_ENDREP: {
        DWORD want = instruction.opcode == D3DSIO_ENDIF     ? D3DSIO_IF
                     : instruction.opcode == D3DSIO_ENDLOOP ? D3DSIO_LOOP
                                                            : D3DSIO_REP;
        DWORD opened = open.empty() ? 0 : list[open.back()].opcode;
        bool matches = opened == want || (want == D3DSIO_IF && (opened == D3DSIO_IFC || opened == D3DSIO_ELSE));
        if (!matches) {
          if (problem) *problem = std::string(instruction.info->mnemonic) + " without its opening instruction";
          return D3DERR_INVALIDCALL;
        }
        partner_[open.back()] = index;
        open.pop_back();
        break;
      }
      case D3DSIO_LABEL:
        if (instruction.sources[0].number < labels_.size()) labels_[instruction.sources[0].number] = index;
        break;
      case D3DSIO_DCL:
        if (!shader_.version.pixel && instruction.destination.type == D3DSPR_INPUT) {
          inputs_.push_back(ShaderInputDeclaration{instruction.destination.number,
                                                   static_cast<BYTE>(instruction.Usage()),
                                                   static_cast<BYTE>(instruction.UsageIndex())});
        }
        break;
      default: break;
    }
  }
  if (!open.empty()) {
    if (problem) *problem = "a block is not closed";
    return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

namespace {

// Everything below works on one machine and one instruction at a time.
class Interpreter {
 public:
  Interpreter(const DecodedShader& shader, float pixel1xMax) : shader_(shader), pixel1xMax_(pixel1xMax) {}

  bool Pixel1x() const { return shader_.version.pixel && shader_.version.major == 1; }

  template <typename Machine>
  int RelativeOffset(const Machine& m, const ShaderRelativeAddress& address) const {
    if (address.type == D3DSPR_LOOP) return m.aL;
    return m.a[address.component];
  }

  template <typename Machine>
  ShaderVector Fetch(const Machine& m, D3DSHADER_PARAM_REGISTER_TYPE type, int number) const {
    auto at = [&](const auto& file) -> ShaderVector {
      return number >= 0 && static_cast<size_t>(number) < file.size() ? file[number] : ShaderVector{};
    };
    const bool pixel = shader_.version.pixel;
    switch (type) {
      case D3DSPR_TEMP: return at(m.r);
      case D3DSPR_INPUT: return at(m.v);
      case D3DSPR_CONST:
      case D3DSPR_CONST2:
      case D3DSPR_CONST3:
      case D3DSPR_CONST4: {
        int index = (type == D3DSPR_CONST ? 0 : (type - D3DSPR_CONST2 + 1) * 2048) + number;
        ShaderVector value = index >= 0 && static_cast<size_t>(index) < m.c.size() ? m.c[index] : ShaderVector{};
        if (Pixel1x()) {
          for (float& x : value) x = std::clamp(x, -1.0f, 1.0f);
        }
        return value;
      }
      case D3DSPR_ADDR:  // D3DSPR_TEXTURE in pixel shaders
        if (pixel) return at(m.t);
        return {static_cast<float>(m.a[0]), static_cast<float>(m.a[1]), static_cast<float>(m.a[2]),
                static_cast<float>(m.a[3])};
      case D3DSPR_CONSTINT: {
        if (number < 0 || number >= 16) return {};
        const auto& v = m.i[number];
        return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[3])};
      }
      case D3DSPR_CONSTBOOL: return Splat(number >= 0 && number < 16 && m.b[number] ? 1.0f : 0.0f);
      case D3DSPR_LOOP: return Splat(static_cast<float>(m.aL));
      case D3DSPR_MISCTYPE: return number == 0 ? m.vPos : Splat(m.vFace);
      case D3DSPR_PREDICATE:
        return {m.p[0] ? 1.0f : 0.0f, m.p[1] ? 1.0f : 0.0f, m.p[2] ? 1.0f : 0.0f, m.p[3] ? 1.0f : 0.0f};
      default: return {};
    }
  }

  template <typename Machine>
  ShaderVector Read(const Machine& m, const ShaderSource& source, int numberOffset = 0) const {
    long long sum = static_cast<long long>(source.number) + numberOffset;
    if (source.relative) sum += RelativeOffset(m, source.address);
    int number = OffsetNumber(sum);
    ShaderVector raw = Fetch(m, source.type, number);
    ShaderVector x;
    for (int k = 0; k < 4; ++k) x[k] = raw[source.swizzle[k]];
    switch (source.modifier) {
      case D3DSPSM_NEG:
        for (float& c : x) c = -c;
        break;
      case D3DSPSM_BIAS:
        for (float& c : x) c = c - 0.5f;
        break;
      case D3DSPSM_BIASNEG:
        for (float& c : x) c = -(c - 0.5f);
        break;
      case D3DSPSM_SIGN:
        for (float& c : x) c = 2.0f * c - 1.0f;
        break;
      case D3DSPSM_SIGNNEG:
        for (float& c : x) c = -(2.0f * c - 1.0f);
        break;
      case D3DSPSM_COMP:
        for (float& c : x) c = 1.0f - c;
        break;
      case D3DSPSM_X2:
        for (float& c : x) c = 2.0f * c;
        break;
      case D3DSPSM_X2NEG:
        for (float& c : x) c = -2.0f * c;
        break;
      case D3DSPSM_DZ:
        x[0] /= x[2];
        x[1] /= x[2];
        break;
      case D3DSPSM_DW:
        x[0] /= x[3];
        x[1] /= x[3];
        x[2] /= x[3];
        break;
      case D3DSPSM_ABS:
        for (float& c : x) c = std::fabs(c);
        break;
      case D3DSPSM_ABSNEG:
        for (float& c : x) c = -std::fabs(c);
        break;
      case D3DSPSM_NOT:
        for (float& c : x) c = c != 0.0f ? 0.0f : 1.0f;
        break;
      default: break;
    }
    return x;
  }

  // The value an instruction's destination receives, with shift, saturation and the ps 1.x range.
  ShaderVector Finish(const ShaderDestination& destination, ShaderVector value) const {
    if (destination.shift) {
      float scale = std::ldexp(1.0f, destination.shift);
      for (float& c : value) c *= scale;
    }
    if (destination.saturate) {
      for (float& c : value) c = Saturate(c);
    }
    if (Pixel1x()) {
      for (float& c : value) c = std::clamp(c, -pixel1xMax_, pixel1xMax_);
    }
    return value;
  }

  template <typename Machine>
  void Write(Machine& m, const ShaderInstruction& instruction, const ShaderVector& raw) const {
    const ShaderDestination& d = instruction.destination;
    ShaderVector value = Finish(d, raw);
    UINT mask = d.writeMask;
    if (instruction.predicated) {
      ShaderVector p = Read(m, instruction.predicate);
      for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0f) mask &= ~(1u << k);
      }
    }
    long long sum = d.number;
    if (d.relative) sum += RelativeOffset(m, d.address);
    int number = OffsetNumber(sum);
    auto store = [&](ShaderVector& target) {
      for (int k = 0; k < 4; ++k) {
        if (mask & (1u << k)) target[k] = value[k];
      }
    };
    auto storeAt = [&](auto& file) {
      if (number >= 0 && static_cast<size_t>(number) < file.size()) store(file[number]);
    };
    const ShaderVersion& version = shader_.version;
    switch (d.type) {
      case D3DSPR_TEMP: storeAt(m.r); break;
      case D3DSPR_ADDR:
        if (version.pixel) {
          storeAt(m.t);
        } else {
          for (int k = 0; k < 4; ++k) {
            if (!(mask & (1u << k))) continue;
            // vs 1.x moves to a0 rounding down; mova rounds to the nearest integer.
            float x = value[k];
            m.a[k] = AddressValue(instruction.opcode == D3DSIO_MOVA ? std::floor(x + 0.5f) : std::floor(x));
          }
        }
        break;
      case D3DSPR_RASTOUT:
        if (number == D3DSRO_POSITION) store(m.oPos);
        if (number == D3DSRO_FOG && (mask & 1)) m.oFog = value[0];
        if (number == D3DSRO_POINT_SIZE && (mask & 1)) m.oPts = value[0];
        break;
      case D3DSPR_ATTROUT: storeAt(m.oD); break;
      case D3DSPR_TEXCRDOUT:
        if (version.major >= 3) {
          storeAt(m.o);
        } else {
          storeAt(m.oT);
        }
        break;
      case D3DSPR_COLOROUT: storeAt(m.oC); break;
      case D3DSPR_DEPTHOUT:
        if (mask & 1) {
          m.oDepth = value[0];
          m.depthWritten = true;
        }
        break;
      case D3DSPR_PREDICATE:
        for (int k = 0; k < 4; ++k) {
          if (mask & (1u << k)) m.p[k] = value[k] != 0.0f;
        }
        break;
      default: break;
    }
  }

  template <typename Machine>
  ShaderVector Sample(const Machine& m, UINT sampler, const ShaderVector& coordinates, float lod = 0.0f) const {
    if (!m.textures) return {0, 0, 0, 1};
    return m.textures->Sample(sampler, coordinates, lod);
  }

  // Scalar instructions read the last component of their swizzled source: the replicated one
  // when a replicate swizzle is given, w when none is (as vs 1.x reads it).
  static float Scalar(const ShaderVector& x) { return x[3]; }

  // Arithmetic result of an instruction that only computes; false for instructions handled
  // elsewhere (declarations, flow control, texture addressing).
  template <typename Machine>
  bool Compute(const Machine& m, const ShaderInstruction& in, ShaderVector& out) const {
    auto src = [&](UINT k) { return Read(m, in.sources[k]); };
    const ShaderVersion& version = shader_.version;
    // m4x4 ... m3x2: a dot product of the vector with each row, the rows in consecutive registers.
    if (in.info->matrixRows) {
      auto a = src(0);
      out = ShaderVector{};
      for (int row = 0; row < in.info->matrixRows; ++row) {
        auto b = Read(m, in.sources[1], row);
        out[row] = in.info->matrixComponents == 4 ? Dot4(a, b) : Dot3(a, b);
      }
      return true;
    }
    switch (in.opcode) {
      case D3DSIO_MOV:
      case D3DSIO_MOVA: out = src(0); return true;
      case D3DSIO_ADD: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] + b[k];
        return true;
      }
      case D3DSIO_SUB: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] - b[k];
        return true;
      }
      case D3DSIO_MUL: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] * b[k];
        return true;
      }
      case D3DSIO_MAD: {
        auto a = src(0), b = src(1), c = src(2);
        for (int k = 0; k < 4; ++k) out[k] = a[k] * b[k] + c[k];
        return true;
      }
      case D3DSIO_MIN: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] < b[k] ? a[k] : b[k];
        return true;
      }
      case D3DSIO_MAX: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] >= b[k] ? a[k] : b[k];
        return true;
      }
      case D3DSIO_SLT: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] < b[k] ? 1.0f : 0.0f;
        return true;
      }
      case D3DSIO_SGE: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = a[k] >= b[k] ? 1.0f : 0.0f;
        return true;
      }
      case D3DSIO_RCP: out = Splat(1.0f / Scalar(src(0))); return true;
      case D3DSIO_RSQ: out = Splat(1.0f / std::sqrt(std::fabs(Scalar(src(0))))); return true;
      case D3DSIO_EXP: out = Splat(std::exp2(Scalar(src(0)))); return true;
      case D3DSIO_LOG: out = Splat(std::log2(std::fabs(Scalar(src(0))))); return true;
      case D3DSIO_EXPP: {
        float x = Scalar(src(0));
        if (version.major < 2) {
          float whole = std::floor(x);
          out = {std::exp2(whole), x - whole, std::exp2(x), 1.0f};
        } else {
          out = Splat(std::exp2(x));
        }
        return true;
      }
      case D3DSIO_LOGP: {
        float x = std::fabs(Scalar(src(0)));
        if (version.major < 2) {
          float exponent = std::floor(std::log2(x));
          out = {exponent, x / std::exp2(exponent), std::log2(x), 1.0f};
        } else {
          out = Splat(std::log2(x));
        }
        return true;
      }
      case D3DSIO_FRC: {
        auto a = src(0);
        for (int k = 0; k < 4; ++k) out[k] = a[k] - std::floor(a[k]);
        return true;
      }
      case D3DSIO_ABS: {
        auto a = src(0);
        for (int k = 0; k < 4; ++k) out[k] = std::fabs(a[k]);
        return true;
      }
      case D3DSIO_SGN: {
        auto a = src(0);
        for (int k = 0; k < 4; ++k) out[k] = a[k] > 0.0f ? 1.0f : (a[k] < 0.0f ? -1.0f : 0.0f);
        return true;
      }
      case D3DSIO_DP3: out = Splat(Dot3(src(0), src(1))); return true;
      case D3DSIO_DP4: out = Splat(Dot4(src(0), src(1))); return true;
      case D3DSIO_DP2ADD: {
        auto a = src(0), b = src(1);
        out = Splat(a[0] * b[0] + a[1] * b[1] + Scalar(src(2)));
        return true;
      }
      case D3DSIO_LRP: {
        auto f = src(0), a = src(1), b = src(2);
        for (int k = 0; k < 4; ++k) out[k] = f[k] * a[k] + (1.0f - f[k]) * b[k];
        return true;
      }
      case D3DSIO_CND: {
        auto c = src(0), a = src(1), b = src(2);
        // Up to ps 1.3 the condition is r0.a for every component.
        bool perComponent = version.minor >= 4;
        for (int k = 0; k < 4; ++k) out[k] = (perComponent ? c[k] : c[3]) > 0.5f ? a[k] : b[k];
        return true;
      }
      case D3DSIO_CMP: {
        auto c = src(0), a = src(1), b = src(2);
        for (int k = 0; k < 4; ++k) out[k] = c[k] >= 0.0f ? a[k] : b[k];
        return true;
      }
      case D3DSIO_LIT: {
        auto a = src(0);
        float power = std::clamp(a[3], -128.0f, 128.0f);
        out = {1.0f, std::max(a[0], 0.0f), a[0] > 0.0f && a[1] > 0.0f ? std::pow(a[1], power) : 0.0f, 1.0f};
        return true;
      }
      case D3DSIO_DST: {
        auto a = src(0), b = src(1);
        out = {1.0f, a[1] * b[1], a[2], b[3]};
        return true;
      }
      case D3DSIO_POW: out = Splat(std::pow(std::fabs(Scalar(src(0))), Scalar(src(1)))); return true;
      case D3DSIO_CRS: {
        auto a = src(0), b = src(1);
        out = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0f};
        return true;
      }
      case D3DSIO_NRM: {
        auto a = src(0);
        float scale = 1.0f / std::sqrt(Dot3(a, a));
        for (int k = 0; k < 4; ++k) out[k] = a[k] * scale;
        return true;
      }
      case D3DSIO_SINCOS: {
        float x = Scalar(src(0));
        out = {std::cos(x), std::sin(x), 0.0f, 0.0f};
        return true;
      }
      case D3DSIO_SETP: {
        auto a = src(0), b = src(1);
        for (int k = 0; k < 4; ++k) out[k] = Compare(in.Comparison(), a[k], b[k]) ? 1.0f : 0.0f;
        return true;
      }
      case D3DSIO_DSX:
      case D3DSIO_DSY:
        // One pixel alone has no neighbours to difference with.
        out = ShaderVector{};
        return true;
      default: return false;
    }
  }

  const DecodedShader& shader_;
  float pixel1xMax_;
};

}  // namespace

void ShaderEvaluator::Execute(Machine& m) const {
  Interpreter interpreter(shader_, pixel1xMax_);
  const std::vector<ShaderInstruction>& list = shader_.instructions;
  const ShaderVersion& version = shader_.version;

  // Definitions take precedence over the device's constants.
  for (const ShaderInstruction& in : list) {
    UINT n = in.destination.number;
    UINT index = 0;
    if (in.opcode == D3DSIO_DEF && FloatConstantIndex(in.destination.type, n, index)) {
      if (index >= m.c.size()) m.c.resize(index + 1);
      for (UINT k = 0; k < 4; ++k) m.c[index][k] = in.FloatValue(k);
    } else if (in.opcode == D3DSIO_DEFI && n < 16) {
      for (UINT k = 0; k < 4; ++k) m.i[n][k] = in.IntValue(k);
    } else if (in.opcode == D3DSIO_DEFB && n < 16) {
      m.b[n] = in.values[0] != 0;
    }
  }

  auto texcoordOf = [&](UINT n) { return n < m.tc.size() ? m.tc[n] : ShaderVector{}; };
  auto bumpOf = [&](UINT n) { return n < 8 ? m.constants->bump[n] : ShaderBumpEnvironment{}; };

  // Texture addressing and texture loads; true when the instruction was one of them.
  auto textureInstruction = [&](const ShaderInstruction& in) -> bool {
    const UINT n = in.destination.number;
    auto setT = [&](const ShaderVector& value) {
      ShaderInstruction writer = in;
      writer.destination.type = D3DSPR_TEXTURE;
      interpreter.Write(m, writer, value);
    };
    auto sourceT = [&]() { return interpreter.Read(m, in.sources[0]); };
    switch (in.opcode) {
      case D3DSIO_TEXKILL: {
        // ps 1.x tests the texture coordinates a t register names; later versions the register.
        bool coordinates = version.major == 1 && in.destination.type == D3DSPR_TEXTURE;
        ShaderVector x = coordinates ? texcoordOf(n) : interpreter.Fetch(m, in.destination.type, static_cast<int>(n));
        UINT mask = version.major == 1 ? 0x7u : in.destination.writeMask;
        for (int k = 0; k < 4; ++k) {
          if ((mask & (1u << k)) && x[k] < 0.0f) m.killed = true;
        }
        return true;
      }
      case D3DSIO_TEXCOORD:
        if (version.minor >= 4) {  // texcrd: the coordinates themselves
          ShaderVector x = interpreter.Read(m, in.sources[0]);
          interpreter.Write(m, in, {x[0], x[1], x[2], 1.0f});
        } else {
          ShaderVector x = texcoordOf(n);
          setT({Saturate(x[0]), Saturate(x[1]), Saturate(x[2]), 1.0f});
        }
        return true;
      case D3DSIO_TEX:
        if (version.major >= 2) {
          const ShaderSource& sampler = in.sources[1];
          ShaderVector x = interpreter.Read(m, in.sources[0]);
          float lod = 0.0f;
          if (in.controls & 1) {
            for (int k = 0; k < 3; ++k) x[k] /= x[3];
          } else if (in.controls & 2) {
            lod = x[3];
          }
          ShaderVector texel = interpreter.Sample(m, sampler.number, x, lod);
          ShaderVector swizzled;
          for (int k = 0; k < 4; ++k) swizzled[k] = texel[sampler.swizzle[k]];
          interpreter.Write(m, in, swizzled);
        } else if (version.minor >= 4) {  // texld r#, t#/r#: the stage is the destination's number
          interpreter.Write(m, in, interpreter.Sample(m, n, interpreter.Read(m, in.sources[0])));
        } else {
          setT(interpreter.Sample(m, n, texcoordOf(n)));
        }
        return true;
      case D3DSIO_TEXLDL: {
        ShaderVector x = interpreter.Read(m, in.sources[0]);
        interpreter.Write(m, in, interpreter.Sample(m, in.sources[1].number, x, x[3]));
        return true;
      }
      case D3DSIO_TEXLDD:
        interpreter.Write(m, in, interpreter.Sample(m, in.sources[1].number, interpreter.Read(m, in.sources[0])));
        return true;
      case D3DSIO_TEXBEM:
      case D3DSIO_TEXBEML: {
        ShaderVector bump = sourceT();
        ShaderBumpEnvironment e = bumpOf(n);
        ShaderVector coordinates = texcoordOf(n);
        coordinates[0] += e.m00 * bump[0] + e.m10 * bump[1];
        coordinates[1] += e.m01 * bump[0] + e.m11 * bump[1];
        ShaderVector texel = interpreter.Sample(m, n, coordinates);
        if (in.opcode == D3DSIO_TEXBEML) {
          float luminance = Saturate(bump[2] * e.luminanceScale + e.luminanceOffset);
          for (int k = 0; k < 3; ++k) texel[k] *= luminance;
        }
        setT(texel);
        return true;
      }
      case D3DSIO_TEXREG2AR: {
        auto s = sourceT();
        setT(interpreter.Sample(m, n, {s[3], s[0], 0, 1}));
        return true;
      }
      case D3DSIO_TEXREG2GB: {
        auto s = sourceT();
        setT(interpreter.Sample(m, n, {s[1], s[2], 0, 1}));
        return true;
      }
      case D3DSIO_TEXREG2RGB: {
        auto s = sourceT();
        setT(interpreter.Sample(m, n, {s[0], s[1], s[2], 1}));
        return true;
      }
      case D3DSIO_TEXM3x2PAD: m.rows[0] = Dot3(texcoordOf(n), sourceT()); return true;
      case D3DSIO_TEXM3x3PAD: {
        // The first pad of a texm3x3 group takes row 0, the second row 1.
        bool second = &in != &list.front() && (&in - 1)->opcode == D3DSIO_TEXM3x3PAD;
        m.rows[second ? 1 : 0] = Dot3(texcoordOf(n), sourceT());
        return true;
      }
      case D3DSIO_TEXM3x2TEX: {
        float v = Dot3(texcoordOf(n), sourceT());
        setT(interpreter.Sample(m, n, {m.rows[0], v, 0, 1}));
        return true;
      }
      case D3DSIO_TEXM3x2DEPTH: {
        float w = Dot3(texcoordOf(n), sourceT());
        m.oDepth = w == 0.0f ? 1.0f : m.rows[0] / w;
        m.depthWritten = true;
        return true;
      }
      case D3DSIO_TEXM3x3TEX:
      case D3DSIO_TEXM3x3:
      case D3DSIO_TEXM3x3SPEC:
      case D3DSIO_TEXM3x3VSPEC: {
        m.rows[2] = Dot3(texcoordOf(n), sourceT());
        ShaderVector normal{m.rows[0], m.rows[1], m.rows[2], 1.0f};
        if (in.opcode == D3DSIO_TEXM3x3) {
          setT(normal);
          return true;
        }
        if (in.opcode == D3DSIO_TEXM3x3TEX) {
          setT(interpreter.Sample(m, n, normal));
          return true;
        }
        ShaderVector eye = in.opcode == D3DSIO_TEXM3x3SPEC
                               ? interpreter.Read(m, in.sources[1])
                               : ShaderVector{texcoordOf(n - 2)[3], texcoordOf(n - 1)[3], texcoordOf(n)[3], 0};
        float nn = Dot3(normal, normal);
        float ne = Dot3(normal, eye);
        ShaderVector reflected{};
        for (int k = 0; k < 3; ++k) reflected[k] = 2.0f * normal[k] * ne / nn - eye[k];
        reflected[3] = 1.0f;
        setT(interpreter.Sample(m, n, reflected));
        return true;
      }
      case D3DSIO_TEXDP3TEX: setT(interpreter.Sample(m, n, {Dot3(texcoordOf(n), sourceT()), 0, 0, 1})); return true;
      case D3DSIO_TEXDP3: setT(Splat(Dot3(texcoordOf(n), sourceT()))); return true;
      case D3DSIO_TEXDEPTH: {
        ShaderVector x = m.r[n < m.r.size() ? n : 0];
        m.oDepth = x[1] == 0.0f ? 1.0f : x[0] / x[1];
        m.depthWritten = true;
        return true;
      }
      case D3DSIO_BEM: {
        auto a = interpreter.Read(m, in.sources[0]), b = interpreter.Read(m, in.sources[1]);
        ShaderBumpEnvironment e = bumpOf(n);
        interpreter.Write(m, in, {a[0] + e.m00 * b[0] + e.m10 * b[1], a[1] + e.m01 * b[0] + e.m11 * b[1], 0, 0});
        return true;
      }
      default: return false;
    }
  };

  auto condition = [&](const ShaderInstruction& in) -> bool {
    if (in.opcode == D3DSIO_IFC || in.opcode == D3DSIO_BREAKC) {
      return Compare(in.Comparison(), interpreter.Read(m, in.sources[0])[0], interpreter.Read(m, in.sources[1])[0]);
    }
    const ShaderSource& s = in.opcode == D3DSIO_CALLNZ ? in.sources[1] : in.sources[0];
    return interpreter.Read(m, s)[0] != 0.0f;
  };

  // Runs instructions [from, to) and says how the range was left.
  auto run = [&](auto& self, size_t from, size_t to) -> Flow {
    for (size_t index = from; index < to;) {
      if (++m.steps > kMaxSteps) return Flow::Return;
      const ShaderInstruction& in = list[index];
      switch (in.opcode) {
        case D3DSIO_IF:
        case D3DSIO_IFC: {
          size_t middle = partner_[index];
          bool hasElse = list[middle].opcode == D3DSIO_ELSE;
          size_t end = hasElse ? partner_[middle] : middle;
          Flow flow = Flow::Normal;
          if (condition(in)) {
            flow = self(self, index + 1, middle);
          } else if (hasElse) {
            flow = self(self, middle + 1, end);
          }
          if (flow != Flow::Normal) return flow;
          index = end + 1;
          continue;
        }
        case D3DSIO_LOOP:
        case D3DSIO_REP: {
          size_t end = partner_[index];
          const ShaderSource& counter = in.opcode == D3DSIO_LOOP ? in.sources[1] : in.sources[0];
          std::array<int, 4> control = counter.number < 16 ? m.i[counter.number] : std::array<int, 4>{};
          int saved = m.aL;
          if (in.opcode == D3DSIO_LOOP) m.aL = control[1];
          for (int k = 0; k < control[0]; ++k) {
            Flow flow = self(self, index + 1, end);
            if (flow == Flow::Break) break;
            if (flow == Flow::Return) return flow;
            // Wraps as the hardware's integer does, instead of overflowing.
            if (in.opcode == D3DSIO_LOOP)
              m.aL = static_cast<int>(static_cast<unsigned>(m.aL) + static_cast<unsigned>(control[2]));
          }
          m.aL = saved;
          index = end + 1;
          continue;
        }
        case D3DSIO_BREAK: return Flow::Break;
        case D3DSIO_BREAKC:
          if (condition(in)) return Flow::Break;
          break;
        case D3DSIO_BREAKP:
          if (interpreter.Read(m, in.sources[0])[0] != 0.0f) return Flow::Break;
          break;
        case D3DSIO_CALL:
        case D3DSIO_CALLNZ: {
          UINT label = in.sources[0].number;
          if ((in.opcode == D3DSIO_CALL || condition(in)) && label < labels_.size() && labels_[label] < list.size()) {
            self(self, labels_[label] + 1, list.size());
          }
          break;
        }
        case D3DSIO_RET:
        case D3DSIO_LABEL: return Flow::Return;
        case D3DSIO_ELSE:
        case D3DSIO_ENDIF:
        case D3DSIO_ENDLOOP:
        case D3DSIO_ENDREP:
        case D3DSIO_NOP:
        case D3DSIO_DCL:
        case D3DSIO_DEF:
        case D3DSIO_DEFI:
        case D3DSIO_DEFB:
        case D3DSIO_PHASE: break;
        default: {
          if (textureInstruction(in)) break;
          ShaderVector result;
          if (!interpreter.Compute(m, in, result)) break;
          // A coissued partner reads its sources before either instruction writes.
          if (index + 1 < to && list[index + 1].coissue) {
            ShaderVector partner;
            bool computed = interpreter.Compute(m, list[index + 1], partner);
            interpreter.Write(m, in, result);
            if (computed) interpreter.Write(m, list[index + 1], partner);
            index += 2;
            continue;
          }
          interpreter.Write(m, in, result);
          break;
        }
      }
      ++index;
    }
    return Flow::Normal;
  };
  run(run, 0, list.size());
}

namespace {

// Where a vs_3_0 output or ps_3_0 input of a usage lives among the varyings; null for usages
// the varyings do not carry.
ShaderVector* VaryingOf(ShaderVaryings& varyings, UINT usage, UINT index) {
  if (usage == D3DDECLUSAGE_COLOR && index < 2) return &varyings.color[index];
  if (usage == D3DDECLUSAGE_TEXCOORD && index < 8) return &varyings.texcoord[index];
  if (usage == D3DDECLUSAGE_POSITION && index == 0) return &varyings.position;
  return nullptr;
}

}  // namespace

ShaderVaryings ShaderEvaluator::RunVertex(const std::array<ShaderVector, 16>& inputs, const ShaderConstants& constants,
                                          const ShaderTextureSampler* textures) const {
  Machine m;
  m.constants = &constants;
  m.textures = textures;
  m.v = inputs;
  m.c = constants.floats;
  if (m.c.size() < 256) m.c.resize(256);
  for (size_t k = 0; k < std::min<size_t>(16, constants.ints.size()); ++k) m.i[k] = constants.ints[k];
  for (size_t k = 0; k < std::min<size_t>(16, constants.bools.size()); ++k) m.b[k] = constants.bools[k];
  Execute(m);
  ShaderVaryings out;
  if (shader_.version.major >= 3) {
    for (const ShaderInstruction& in : shader_.instructions) {
      if (in.opcode != D3DSIO_DCL || in.destination.type != D3DSPR_OUTPUT || in.destination.number >= 16) continue;
      const ShaderVector& value = m.o[in.destination.number];
      if (in.Usage() == D3DDECLUSAGE_FOG) out.fog = value[0];
      if (in.Usage() == D3DDECLUSAGE_PSIZE) out.pointSize = value[0];
      if (ShaderVector* target = VaryingOf(out, in.Usage(), in.UsageIndex())) *target = value;
      if (IsGenericVarying(in.Usage(), in.UsageIndex())) {
        out.other.emplace_back(ShaderUsageKey(in.Usage(), in.UsageIndex()), value);
      }
    }
    return out;
  }
  out.position = m.oPos;
  // Colours leave the vertex shader clamped to [0, 1]; texture coordinates as they are.
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 4; ++j) out.color[k][j] = Saturate(m.oD[k][j]);
  }
  out.texcoord = m.oT;
  out.fog = m.oFog;
  out.pointSize = m.oPts;
  return out;
}

PixelResult ShaderEvaluator::RunPixel(const ShaderVaryings& inputs, const ShaderConstants& constants,
                                      const ShaderTextureSampler* textures, ShaderVector pixel,
                                      bool frontFacing) const {
  Machine m;
  m.constants = &constants;
  m.textures = textures;
  m.c = constants.floats;
  if (m.c.size() < 224) m.c.resize(224);
  for (size_t k = 0; k < std::min<size_t>(16, constants.ints.size()); ++k) m.i[k] = constants.ints[k];
  for (size_t k = 0; k < std::min<size_t>(16, constants.bools.size()); ++k) m.b[k] = constants.bools[k];
  m.vPos = pixel;
  m.vFace = frontFacing ? 1.0f : -1.0f;
  const ShaderVersion& version = shader_.version;
  ShaderVaryings varyings = inputs;
  if (version.major >= 3) {
    for (const ShaderInstruction& in : shader_.instructions) {
      if (in.opcode != D3DSIO_DCL || in.destination.type != D3DSPR_INPUT || in.destination.number >= 16) continue;
      ShaderVector& input = m.v[in.destination.number];
      if (ShaderVector* source = VaryingOf(varyings, in.Usage(), in.UsageIndex())) input = *source;
      // Fog arrives as one value; an input the vertex stage does not pass on reads 0.
      if (in.Usage() == D3DDECLUSAGE_FOG) input = {varyings.fog, 0, 0, 0};
      if (IsGenericVarying(in.Usage(), in.UsageIndex())) {
        for (const auto& [key, value] : varyings.other) {
          if (key == ShaderUsageKey(in.Usage(), in.UsageIndex())) input = value;
        }
      }
    }
  } else {
    // Colour inputs arrive clamped to [0, 1].
    for (int k = 0; k < 2; ++k) {
      for (int j = 0; j < 4; ++j) m.v[k][j] = Saturate(inputs.color[k][j]);
    }
    m.tc = inputs.texcoord;
    m.t = inputs.texcoord;
  }
  Execute(m);
  PixelResult result;
  result.killed = m.killed;
  result.depthWritten = m.depthWritten;
  result.depth = m.oDepth;
  if (version.major == 1) {
    // ps 1.x leaves its colour in r0, in [0, 1] once written to the target.
    for (int j = 0; j < 4; ++j) result.color[0][j] = Saturate(m.r[0][j]);
  } else {
    result.color = m.oC;
  }
  return result;
}

}  // namespace rastro
