#include "ShaderTranslator.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <map>

#include "StringFormat.h"

namespace rastro {

namespace {

// A float literal that reads back as exactly the same value.
std::string Literal(float value) {
  if (std::isnan(value)) return "(0.0 / 0.0)";
  if (std::isinf(value)) return value > 0 ? "(1.0 / 0.0)" : "(-1.0 / 0.0)";
  std::string text = FormatString("%.9g", static_cast<double>(value));
  if (text.find_first_of(".eE") == std::string::npos) text += ".0";
  return text;
}

std::string VectorLiteral(const ShaderVector& v) {
  return "vec4(" + Literal(v[0]) + ", " + Literal(v[1]) + ", " + Literal(v[2]) + ", " + Literal(v[3]) + ")";
}

const char* MaskSuffix(UINT mask) {
  static const char* kSuffixes[16] = {"",   ".x",  ".y",  ".xy",  ".z",  ".xz",  ".yz",  ".xyz",
                                      ".w", ".xw", ".yw", ".xyw", ".zw", ".xzw", ".yzw", ""};
  return kSuffixes[mask & 15];
}

const char* CompareFunction(D3DSHADER_COMPARISON comparison) {
  switch (comparison) {
    case D3DSPC_GT: return "greaterThan";
    case D3DSPC_EQ: return "equal";
    case D3DSPC_GE: return "greaterThanEqual";
    case D3DSPC_LT: return "lessThan";
    case D3DSPC_NE: return "notEqual";
    case D3DSPC_LE: return "lessThanEqual";
    default: return "";
  }
}

const char* CompareOperator(D3DSHADER_COMPARISON comparison) {
  switch (comparison) {
    case D3DSPC_GT: return ">";
    case D3DSPC_EQ: return "==";
    case D3DSPC_GE: return ">=";
    case D3DSPC_LT: return "<";
    case D3DSPC_NE: return "!=";
    case D3DSPC_LE: return "<=";
    default: return "";
  }
}

// The varying a usage travels in between the stages.
std::string VaryingName(UINT usage, UINT index) {
  if (usage == D3DDECLUSAGE_COLOR && index == 0) return "vDiffuse";
  if (usage == D3DDECLUSAGE_COLOR && index == 1) return "vSpecular";
  if (usage == D3DDECLUSAGE_TEXCOORD && index < 8) return FormatString("vTexCoord%u", index);
  if (usage == D3DDECLUSAGE_FOG) return "vFog";
  return FormatString("vUsage%u_%u", usage, index);
}

// Functions the generated code may call, each declared only in shaders that call it: every
// line of source costs compile time at the first draw.
struct Helper {
  const char* name;
  const char* code;
};
constexpr Helper kHelpers[] = {
    {"d3d_lit(",
     "vec4 d3d_lit(vec4 s) {\n"
     "  float power = clamp(s.w, -128.0, 128.0);\n"
     "  return vec4(1.0, max(s.x, 0.0), (s.x > 0.0 && s.y > 0.0) ? pow(s.y, power) : 0.0, 1.0);\n"
     "}\n"},
    {"d3d_expp1(", "vec4 d3d_expp1(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }\n"},
    {"d3d_logp1(",
     "vec4 d3d_logp1(float x) {\n"
     "  float a = abs(x); float e = floor(log2(a));\n"
     "  return vec4(e, a / exp2(e), log2(a), 1.0);\n"
     "}\n"},
    {"d3d_dz(", "vec4 d3d_dz(vec4 v) { return vec4(v.xy / v.z, v.zw); }\n"},
    {"d3d_dw(", "vec4 d3d_dw(vec4 v) { return vec4(v.xyz / v.w, v.w); }\n"},
};

class Translator {
 public:
  Translator(const DecodedShader& shader, const ShaderTranslationOptions& options, GlslShader& out)
      : shader_(shader), options_(options), out_(out), version_(shader.version), prefix_(version_.pixel ? "p" : "v") {
    textureRanges_.fill(Range{0, 0, false});  // texture registers hold nothing known until written
  }

  bool Run(std::string* problem);

 private:
  bool Pixel1x() const { return version_.pixel && version_.major == 1; }
  bool Pixel3() const { return version_.pixel && version_.major >= 3; }

  bool Fail(const std::string& why) {
    if (problem_.empty()) problem_ = why;
    return false;
  }

  void Line(const std::string& text) {
    body_.append(static_cast<size_t>(indent_) * 2, ' ');
    body_ += text;
    body_ += '\n';
  }

  std::string RelativeIndex(const ShaderSource& source, int numberOffset) {
    std::string index = FormatString("%d", static_cast<int>(source.number) + numberOffset);
    if (!source.relative) return index;
    if (source.address.type == D3DSPR_LOOP) {
      usesLoop_ = true;
      return index + " + aL";
    }
    usesAddress_ = true;
    return index + " + a0." + "xyzw"[source.address.component];
  }

  std::string ConstantName(UINT index) {
    if (floatDefs_.count(index)) return FormatString("%sdc%u", prefix_, index);
    constantCount_ = std::max(constantCount_, index + 1);
    std::string name = FormatString("%sc[%u]", prefix_, index);
    return Pixel1x() ? "clamp(" + name + ", -1.0, 1.0)" : name;
  }

  std::string IntName(UINT index) {
    if (intDefs_.count(index)) return FormatString("%sdi%u", prefix_, index);
    out_.intConstants = true;
    return FormatString("%si[%u]", prefix_, index);
  }

  std::string BoolName(UINT index) {
    if (boolDefs_.count(index)) return boolDefs_[index] ? "true" : "false";
    out_.boolConstants = true;
    return FormatString("%sb[%u]", prefix_, index);
  }

  // A register as a vec4 expression, before swizzle and modifier.
  std::string RegisterValue(const ShaderSource& source, int numberOffset = 0) {
    UINT number = source.number + static_cast<UINT>(numberOffset);
    switch (source.type) {
      case D3DSPR_TEMP:
        if (number >= 32) return Fail("temporary register out of range"), "vec4(0.0)";
        temps_.set(number);
        return FormatString("r%u", number);
      case D3DSPR_INPUT:
        if (number >= 16) return Fail("input register out of range"), "vec4(0.0)";
        if (version_.pixel && !Pixel3()) {
          if (number >= 2) return Fail("colour input out of range"), "vec4(0.0)";
          colorInputs_.set(number);
          return FormatString("v%u", number);
        }
        if (source.relative) return "v[" + RelativeIndex(source, numberOffset) + "]";
        return FormatString("v[%u]", number);
      case D3DSPR_CONST:
      case D3DSPR_CONST2:
      case D3DSPR_CONST3:
      case D3DSPR_CONST4: {
        UINT base = source.type == D3DSPR_CONST ? 0 : (source.type - D3DSPR_CONST2 + 1) * 2048;
        if (source.relative) {
          relativeConstants_ = true;
          return FormatString("%scRead(%u + ", prefix_, base) + RelativeIndex(source, numberOffset) + ")";
        }
        return ConstantName(base + number);
      }
      case D3DSPR_ADDR:  // texture registers in pixel shaders
        if (version_.pixel) {
          if (number >= 8) return Fail("texture register out of range"), "vec4(0.0)";
          textureRegisters_.set(number);
          return FormatString("t%u", number);
        }
        usesAddress_ = true;
        return "vec4(a0)";
      case D3DSPR_CONSTINT:
        if (number >= 16) return Fail("integer constant out of range"), "vec4(0.0)";
        return "vec4(" + IntName(number) + ")";
      case D3DSPR_CONSTBOOL:
        if (number >= 16) return Fail("boolean constant out of range"), "vec4(0.0)";
        return "vec4(float(" + BoolName(number) + "))";
      case D3DSPR_LOOP: usesLoop_ = true; return "vec4(float(aL))";
      case D3DSPR_MISCTYPE:
        if (!version_.pixel) return Fail("vPos and vFace exist only in pixel shaders"), "vec4(0.0)";
        return number == 0 ? "vec4(gl_FragCoord.xy - vec2(0.5), 0.0, 0.0)" : "vec4(gl_FrontFacing ? 1.0 : -1.0)";
      case D3DSPR_PREDICATE: usesPredicate_ = true; return "vec4(p0)";
      default:
        return Fail(FormatString("register type %u cannot be read", static_cast<unsigned>(source.type))), "vec4(0.0)";
    }
  }

  std::string Source(const ShaderSource& source, int numberOffset = 0) {
    std::string x = RegisterValue(source, numberOffset);
    if (source.SwizzleBits() != 0xE4) {
      x += '.';
      for (UINT k = 0; k < 4; ++k) x += "xyzw"[source.swizzle[k]];
    }
    switch (source.modifier) {
      case D3DSPSM_NEG: return "(-" + x + ")";
      case D3DSPSM_BIAS: return "(" + x + " - vec4(0.5))";
      case D3DSPSM_BIASNEG: return "(vec4(0.5) - " + x + ")";
      case D3DSPSM_SIGN: return "(2.0 * " + x + " - vec4(1.0))";
      case D3DSPSM_SIGNNEG: return "(vec4(1.0) - 2.0 * " + x + ")";
      case D3DSPSM_COMP: return "(vec4(1.0) - " + x + ")";
      case D3DSPSM_X2: return "(2.0 * " + x + ")";
      case D3DSPSM_X2NEG: return "(-2.0 * " + x + ")";
      case D3DSPSM_DZ: return "d3d_dz(" + x + ")";
      case D3DSPSM_DW: return "d3d_dw(" + x + ")";
      case D3DSPSM_ABS: return "abs(" + x + ")";
      case D3DSPSM_ABSNEG: return "(-abs(" + x + "))";
      case D3DSPSM_NOT: return "vec4(equal(" + x + ", vec4(0.0)))";
      default: return x;
    }
  }

  std::string Scalar(const ShaderSource& source) {
    // Appended piece by piece: GCC 12 at -O3 misreads "(" + std::string as an overlapping copy.
    std::string value = "(";
    value += Source(source);
    value += ").w";
    return value;
  }

  // The register an instruction writes, as an lvalue without mask.
  std::string Target(const ShaderDestination& d) {
    UINT n = d.number;
    switch (d.type) {
      case D3DSPR_TEMP:
        if (n >= 32) return Fail("temporary register out of range"), "";
        temps_.set(n);
        return FormatString("r%u", n);
      case D3DSPR_ADDR:
        if (version_.pixel) {
          if (n >= 8) return Fail("texture register out of range"), "";
          textureRegisters_.set(n);
          return FormatString("t%u", n);
        }
        usesAddress_ = true;
        return "a0";
      case D3DSPR_RASTOUT:
        if (version_.pixel || n > 2) return Fail("no such rasteriser output"), "";
        if (n == 2) writesPointSize_ = true;
        return n == 0 ? "oPos" : (n == 1 ? "oFog" : "oPts");
      case D3DSPR_ATTROUT:
        if (version_.pixel || n >= 2) return Fail("no such colour output"), "";
        return FormatString("oD%u", n);
      case D3DSPR_TEXCRDOUT:
        if (version_.pixel) return Fail("no such output"), "";
        if (version_.major >= 3) {
          if (d.relative) {
            return std::string("o[") + FormatString("%u", n) +
                   (d.address.type == D3DSPR_LOOP ? " + aL]"
                                                  : std::string(" + a0.") + "xyzw"[d.address.component] + "]");
          }
          if (n >= 16) return Fail("output register out of range"), "";
          return FormatString("o[%u]", n);
        }
        if (n >= 8) return Fail("texture coordinate output out of range"), "";
        return FormatString("oT%u", n);
      case D3DSPR_COLOROUT:
        if (!version_.pixel || n >= 4) return Fail("no such colour output"), "";
        colorOutputs_.set(n);
        return FormatString("oC%u", n);
      case D3DSPR_DEPTHOUT:
        if (!version_.pixel) return Fail("no depth output in vertex shaders"), "";
        writesDepth_ = true;
        return "oDepth";
      case D3DSPR_PREDICATE: usesPredicate_ = true; return "p0";
      default: return Fail(FormatString("register type %u cannot be written", static_cast<unsigned>(d.type))), "";
    }
  }

  // The statements that store `value` (a vec4 expression) through the instruction's destination.
  void Store(const ShaderInstruction& in, std::string value) {
    const ShaderDestination& d = in.destination;
    if (d.shift) value = "(" + value + ") * " + Literal(std::ldexp(1.0f, d.shift));
    if (d.saturate) value = "clamp(" + value + ", 0.0, 1.0)";
    std::string target = Target(d);
    if (target.empty()) return;
    bool rangeLimited = Pixel1x() && (d.type == D3DSPR_TEMP || d.type == D3DSPR_TEXTURE);
    // A result already known to lie within the range needs no clamp.
    if (rangeLimited && !RecordRange(in)) {
      std::string limit = Literal(options_.pixelShader1xMaxValue);
      value = "clamp(" + value + ", -" + limit + ", " + limit + ")";
    }
    UINT mask = d.writeMask;
    auto convert = [&](const std::string& v) -> std::string {
      if (target == "a0") {
        return in.opcode == D3DSIO_MOVA ? "ivec4(floor(" + v + " + vec4(0.5)))" : "ivec4(floor(" + v + "))";
      }
      if (target == "p0") return "notEqual(" + v + ", vec4(0.0))";
      return v;
    };
    if (in.predicated) {
      std::string predicate = "p0";
      usesPredicate_ = true;
      Line("{ vec4 value = " + value + ";");
      for (UINT k = 0; k < 4; ++k) {
        if (!(mask & (1u << k))) continue;
        std::string condition = std::string("p0.") + "xyzw"[in.predicate.swizzle[k]];
        if (in.predicate.modifier == D3DSPSM_NOT) condition = "!" + condition;
        Line("  if (" + condition + ") " + target + "." + "xyzw"[k] + " = " + convert("value") + "." + "xyzw"[k] + ";");
      }
      Line("}");
      return;
    }
    if (mask == 0xF) {
      Line(target + " = " + convert(value) + ";");
    } else {
      Line(target + MaskSuffix(mask) + " = " + convert(value) + MaskSuffix(mask) + ";");
    }
  }

  // Bounds of a ps 1.x value, for leaving out range clamps that cannot change anything.
  struct Range {
    float low = 0.0f, high = 0.0f;
    bool known = true;
  };

  Range SourceRange(const ShaderSource& s) {
    Range r;
    switch (s.type) {
      case D3DSPR_INPUT: r = {0.0f, 1.0f}; break;
      case D3DSPR_CONST: r = {-1.0f, 1.0f}; break;
      case D3DSPR_TEMP: r = s.number < 32 ? tempRanges_[s.number] : Range{0, 0, false}; break;
      case D3DSPR_TEXTURE: r = s.number < 8 ? textureRanges_[s.number] : Range{0, 0, false}; break;
      default: r.known = false; break;
    }
    auto map = [&](float scale, float offset) {
      float a = r.low * scale + offset, b = r.high * scale + offset;
      r.low = std::min(a, b);
      r.high = std::max(a, b);
    };
    switch (s.modifier) {
      case D3DSPSM_NONE: break;
      case D3DSPSM_NEG: map(-1, 0); break;
      case D3DSPSM_BIAS: map(1, -0.5f); break;
      case D3DSPSM_BIASNEG: map(-1, 0.5f); break;
      case D3DSPSM_SIGN: map(2, -1); break;
      case D3DSPSM_SIGNNEG: map(-2, 1); break;
      case D3DSPSM_COMP: map(-1, 1); break;
      case D3DSPSM_X2: map(2, 0); break;
      case D3DSPSM_X2NEG: map(-2, 0); break;
      default: r.known = false; break;
    }
    return r;
  }

  static Range Product(Range a, Range b) {
    float p[4] = {a.low * b.low, a.low * b.high, a.high * b.low, a.high * b.high};
    return {*std::min_element(p, p + 4), *std::max_element(p, p + 4), a.known && b.known};
  }
  static Range Sum(Range a, Range b) { return {a.low + b.low, a.high + b.high, a.known && b.known}; }
  static Range Union(Range a, Range b) {
    return {std::min(a.low, b.low), std::max(a.high, b.high), a.known && b.known};
  }

  // Works out the bounds of what `in` writes and records them for its destination; true when
  // they lie within the ps 1.x range.
  bool RecordRange(const ShaderInstruction& in) {
    auto s = [&](UINT k) { return SourceRange(in.sources[k]); };
    Range r{0, 0, false};
    switch (in.opcode) {
      case D3DSIO_MOV: r = s(0); break;
      case D3DSIO_ADD: r = Sum(s(0), s(1)); break;
      case D3DSIO_SUB: r = Sum(s(0), [](Range x) { return Range{-x.high, -x.low, x.known}; }(s(1))); break;
      case D3DSIO_MUL: r = Product(s(0), s(1)); break;
      case D3DSIO_MAD: r = Sum(Product(s(0), s(1)), s(2)); break;
      case D3DSIO_DP3: {
        Range p = Product(s(0), s(1));
        r = Sum(Sum(p, p), p);
        break;
      }
      case D3DSIO_DP4: {
        Range p = Product(s(0), s(1));
        r = Sum(Sum(p, p), Sum(p, p));
        break;
      }
      case D3DSIO_LRP: {
        Range f = s(0);
        // f a + (1 - f) b lies between a and b while f stays in [0, 1].
        r = f.known && f.low >= 0.0f && f.high <= 1.0f ? Union(s(1), s(2)) : Range{0, 0, false};
        break;
      }
      case D3DSIO_CND:
      case D3DSIO_CMP: r = Union(s(1), s(2)); break;
      case D3DSIO_TEXCOORD: r = version_.minor >= 4 ? Range{0, 0, false} : Range{0.0f, 1.0f}; break;
      default: break;
    }
    const ShaderDestination& d = in.destination;
    if (d.shift) {
      float scale = std::ldexp(1.0f, d.shift);
      r = {r.low * scale, r.high * scale, r.known};
    }
    if (d.saturate) r = {std::clamp(r.low, 0.0f, 1.0f), std::clamp(r.high, 0.0f, 1.0f), true};
    float limit = options_.pixelShader1xMaxValue;
    bool inside = r.known && r.low >= -limit && r.high <= limit;
    Range stored =
        inside ? r : Range{std::max(r.known ? r.low : -limit, -limit), std::min(r.known ? r.high : limit, limit), true};
    Range* slot = d.type == D3DSPR_TEMP ? (d.number < 32 ? &tempRanges_[d.number] : nullptr)
                                        : (d.number < 8 ? &textureRanges_[d.number] : nullptr);
    if (slot) *slot = d.writeMask == 0xF || in.predicated ? stored : Union(*slot, stored);
    return inside;
  }

  std::string SamplerName(UINT sampler, ShaderSamplerKind kind) {
    if (sampler >= 16) return Fail("sampler out of range"), "";
    if (kind == ShaderSamplerKind::None) kind = ShaderSamplerKind::Flat;
    out_.samplers[sampler] = kind;
    return FormatString("%s_s%u", version_.pixel ? "ps" : "vs", sampler);
  }

  ShaderSamplerKind StageKind(UINT stage) const {
    return stage < 8 ? options_.stageTextures[stage] : ShaderSamplerKind::Flat;
  }

  ShaderSamplerKind DeclaredKind(UINT sampler) const {
    auto found = samplerKinds_.find(sampler);
    return found == samplerKinds_.end() ? ShaderSamplerKind::Flat : found->second;
  }

  std::string Coordinates(ShaderSamplerKind kind, const std::string& c) {
    return kind == ShaderSamplerKind::Flat ? "(" + c + ").xy" : "(" + c + ").xyz";
  }

  std::string Sample(UINT sampler, ShaderSamplerKind kind, const std::string& coordinates) {
    std::string name = SamplerName(sampler, kind);
    return "texture(" + name + ", " + Coordinates(kind, coordinates) + ")";
  }

  std::string TexCoord(UINT set) {
    if (set >= 8) return Fail("texture coordinate set out of range"), "vec4(0.0)";
    texcoordInputs_.set(set);
    return FormatString("vTexCoord%u", set);
  }

  // Whether the vertex stage passes on what a ps_3_0 input of this usage reads.
  template <typename Declaration>
  bool Provided(const Declaration& input) const {
    if (input.usage == D3DDECLUSAGE_COLOR && input.index < 2) return true;
    if (input.usage == D3DDECLUSAGE_TEXCOORD && input.index < 8) return true;
    if (input.usage != D3DDECLUSAGE_FOG && !IsGenericVarying(input.usage, input.index)) return false;
    const std::vector<UINT>& passed = options_.vertexOutputs;
    return std::find(passed.begin(), passed.end(), ShaderUsageKey(input.usage, input.index)) != passed.end();
  }

  bool Arithmetic(const ShaderInstruction& in, std::string& value);
  bool Texture(const ShaderInstruction& in);
  bool Flow(const ShaderInstruction& in);
  void Collect();
  std::string Assemble();

  const DecodedShader& shader_;
  const ShaderTranslationOptions& options_;
  GlslShader& out_;
  const ShaderVersion& version_;
  const char* prefix_;
  std::string body_;
  std::string functions_;
  int indent_ = 1;
  std::string problem_;

  std::bitset<32> temps_;
  std::bitset<2> colorInputs_;
  std::bitset<8> texcoordInputs_;
  std::bitset<8> textureRegisters_;
  std::bitset<4> colorOutputs_;
  bool writesDepth_ = false;
  bool writesPointSize_ = false;
  bool usesAddress_ = false;
  bool usesLoop_ = false;
  bool usesPredicate_ = false;
  bool relativeConstants_ = false;
  bool usesRows_ = false;
  UINT constantCount_ = 0;
  std::map<UINT, ShaderVector> floatDefs_;
  std::map<UINT, std::array<int, 4>> intDefs_;
  std::map<UINT, bool> boolDefs_;
  std::map<UINT, ShaderSamplerKind> samplerKinds_;
  struct Declared {
    UINT number;
    UINT usage;
    UINT index;
  };
  std::vector<Declared> declaredInputs_;
  std::vector<Declared> declaredOutputs_;
  int loopDepth_ = 0;
  std::vector<std::string> loopControls_;  // per open loop: its integer constant, empty for rep
  std::vector<DWORD> blocks_;              // the open if, else, loop and rep blocks
  std::array<Range, 32> tempRanges_{};
  std::array<Range, 8> textureRanges_{};
};

void Translator::Collect() {
  for (const ShaderInstruction& in : shader_.instructions) {
    const ShaderDestination& d = in.destination;
    UINT index = 0;
    if (in.opcode == D3DSIO_DEF) {
      if (!FloatConstantIndex(d.type, d.number, index)) {
        Fail("def of a register that is no constant");
        continue;
      }
      ShaderVector value{in.FloatValue(0), in.FloatValue(1), in.FloatValue(2), in.FloatValue(3)};
      if (Pixel1x()) {
        for (float& x : value) x = std::clamp(x, -1.0f, 1.0f);
      }
      floatDefs_[index] = value;
    } else if (in.opcode == D3DSIO_DEFI) {
      intDefs_[d.number] = {in.IntValue(0), in.IntValue(1), in.IntValue(2), in.IntValue(3)};
    } else if (in.opcode == D3DSIO_DEFB) {
      boolDefs_[d.number] = in.values[0] != 0;
    } else if (in.opcode == D3DSIO_DCL) {
      if (d.type == D3DSPR_SAMPLER) {
        DWORD type = in.TextureType();
        samplerKinds_[d.number] = type == D3DSTT_CUBE     ? ShaderSamplerKind::Cube
                                  : type == D3DSTT_VOLUME ? ShaderSamplerKind::Volume
                                                          : ShaderSamplerKind::Flat;
      } else if (d.type == D3DSPR_INPUT) {
        declaredInputs_.push_back({d.number, in.Usage(), in.UsageIndex()});
      } else if (d.type == D3DSPR_OUTPUT && !version_.pixel) {
        declaredOutputs_.push_back({d.number, in.Usage(), in.UsageIndex()});
      }
    }
  }
}

bool Translator::Arithmetic(const ShaderInstruction& in, std::string& value) {
  auto s = [&](UINT k) { return Source(in.sources[k]); };
  // m4x4 ... m3x2: a dot product of the vector with each row, the rows in consecutive registers.
  if (in.info->matrixRows) {
    std::string a = s(0);
    value = "vec4(";
    for (int row = 0; row < 4; ++row) {
      if (row) value += ", ";
      if (row >= in.info->matrixRows) {
        value += "0.0";
      } else if (in.info->matrixComponents == 4) {
        value += "dot(" + a + ", " + Source(in.sources[1], row) + ")";
      } else {
        value += "dot((" + a + ").xyz, (" + Source(in.sources[1], row) + ").xyz)";
      }
    }
    value += ")";
    return true;
  }
  switch (in.opcode) {
    case D3DSIO_MOV:
    case D3DSIO_MOVA: value = s(0); return true;
    case D3DSIO_ADD: value = "(" + s(0) + " + " + s(1) + ")"; return true;
    case D3DSIO_SUB: value = "(" + s(0) + " - " + s(1) + ")"; return true;
    case D3DSIO_MUL: value = "(" + s(0) + " * " + s(1) + ")"; return true;
    case D3DSIO_MAD: value = "(" + s(0) + " * " + s(1) + " + " + s(2) + ")"; return true;
    case D3DSIO_MIN: value = "min(" + s(0) + ", " + s(1) + ")"; return true;
    case D3DSIO_MAX: value = "max(" + s(0) + ", " + s(1) + ")"; return true;
    case D3DSIO_SLT: value = "vec4(lessThan(" + s(0) + ", " + s(1) + "))"; return true;
    case D3DSIO_SGE: value = "vec4(greaterThanEqual(" + s(0) + ", " + s(1) + "))"; return true;
    case D3DSIO_RCP: value = "vec4(1.0 / " + Scalar(in.sources[0]) + ")"; return true;
    case D3DSIO_RSQ: value = "vec4(inversesqrt(abs(" + Scalar(in.sources[0]) + ")))"; return true;
    case D3DSIO_EXP: value = "vec4(exp2(" + Scalar(in.sources[0]) + "))"; return true;
    case D3DSIO_LOG: value = "vec4(log2(abs(" + Scalar(in.sources[0]) + ")))"; return true;
    case D3DSIO_EXPP:
      value =
          version_.major < 2 ? "d3d_expp1(" + Scalar(in.sources[0]) + ")" : "vec4(exp2(" + Scalar(in.sources[0]) + "))";
      return true;
    case D3DSIO_LOGP:
      value = version_.major < 2 ? "d3d_logp1(" + Scalar(in.sources[0]) + ")"
                                 : "vec4(log2(abs(" + Scalar(in.sources[0]) + ")))";
      return true;
    case D3DSIO_FRC: value = "fract(" + s(0) + ")"; return true;
    case D3DSIO_ABS: value = "abs(" + s(0) + ")"; return true;
    case D3DSIO_SGN: value = "sign(" + s(0) + ")"; return true;
    case D3DSIO_DP3: value = "vec4(dot((" + s(0) + ").xyz, (" + s(1) + ").xyz))"; return true;
    case D3DSIO_DP4: value = "vec4(dot(" + s(0) + ", " + s(1) + "))"; return true;
    case D3DSIO_DP2ADD:
      value = "vec4(dot((" + s(0) + ").xy, (" + s(1) + ").xy) + " + Scalar(in.sources[2]) + ")";
      return true;
    case D3DSIO_LRP: value = "mix(" + s(2) + ", " + s(1) + ", " + s(0) + ")"; return true;
    case D3DSIO_CND:
      if (version_.minor >= 4) {
        value = "mix(" + s(2) + ", " + s(1) + ", greaterThan(" + s(0) + ", vec4(0.5)))";
      } else {
        value = "((" + s(0) + ").w > 0.5 ? " + s(1) + " : " + s(2) + ")";
      }
      return true;
    case D3DSIO_CMP: value = "mix(" + s(2) + ", " + s(1) + ", greaterThanEqual(" + s(0) + ", vec4(0.0)))"; return true;
    case D3DSIO_LIT: value = "d3d_lit(" + s(0) + ")"; return true;
    case D3DSIO_DST: {
      std::string a = s(0), b = s(1);
      value = "vec4(1.0, (" + a + ").y * (" + b + ").y, (" + a + ").z, (" + b + ").w)";
      return true;
    }
    case D3DSIO_POW:
      value = "vec4(pow(abs(" + Scalar(in.sources[0]) + "), " + Scalar(in.sources[1]) + "))";
      return true;
    case D3DSIO_CRS: value = "vec4(cross((" + s(0) + ").xyz, (" + s(1) + ").xyz), 0.0)"; return true;
    case D3DSIO_NRM: {
      std::string a = s(0);
      value = "(" + a + " * inversesqrt(dot((" + a + ").xyz, (" + a + ").xyz)))";
      return true;
    }
    case D3DSIO_SINCOS: {
      std::string x = Scalar(in.sources[0]);
      value = "vec4(cos(" + x + "), sin(" + x + "), 0.0, 0.0)";
      return true;
    }
    case D3DSIO_SETP:
      value = std::string("vec4(") + CompareFunction(in.Comparison()) + "(" + s(0) + ", " + s(1) + "))";
      return true;
    case D3DSIO_DSX: value = "dFdx(" + s(0) + ")"; return true;
    case D3DSIO_DSY: value = "dFdy(" + s(0) + ")"; return true;
    default: return false;
  }
}

bool Translator::Texture(const ShaderInstruction& in) {
  const UINT n = in.destination.number;
  auto setT = [&](const std::string& value) {
    ShaderInstruction writer = in;
    writer.destination.type = D3DSPR_TEXTURE;
    Store(writer, value);
  };
  auto sourceT = [&]() { return Source(in.sources[0]); };
  auto bump = [&](UINT stage) {
    out_.bumpEnvironment = true;
    return FormatString("uBumpEnv[%u]", stage < 8 ? stage : 0);
  };
  switch (in.opcode) {
    case D3DSIO_TEXKILL: {
      bool coordinates = version_.major == 1 && in.destination.type == D3DSPR_TEXTURE;
      ShaderSource asSource;
      asSource.type = in.destination.type;
      asSource.number = n;
      std::string x = coordinates ? TexCoord(n) : RegisterValue(asSource);
      UINT mask = version_.major == 1 ? 0x7u : in.destination.writeMask;
      for (UINT k = 0; k < 4; ++k) {
        if (mask & (1u << k)) Line("if ((" + x + ")." + "xyzw"[k] + " < 0.0) discard;");
      }
      return true;
    }
    case D3DSIO_TEXCOORD:
      if (version_.minor >= 4) {
        Store(in, "vec4((" + Source(in.sources[0]) + ").xyz, 1.0)");
      } else {
        setT("vec4(clamp(" + TexCoord(n) + ".xyz, 0.0, 1.0), 1.0)");
      }
      return true;
    case D3DSIO_TEX:
      if (version_.major >= 2) {
        const ShaderSource& sampler = in.sources[1];
        ShaderSamplerKind kind = DeclaredKind(sampler.number);
        std::string name = SamplerName(sampler.number, kind);
        std::string c = Source(in.sources[0]);
        std::string sample;
        if (in.controls & 1) {
          sample = kind == ShaderSamplerKind::Cube ? "texture(" + name + ", (" + c + ").xyz / (" + c + ").w)"
                                                   : "textureProj(" + name + ", " + c + ")";
        } else if (in.controls & 2) {
          sample = "texture(" + name + ", " + Coordinates(kind, c) + ", (" + c + ").w)";
        } else {
          sample = "texture(" + name + ", " + Coordinates(kind, c) + ")";
        }
        if (sampler.SwizzleBits() != 0xE4) {
          sample += '.';
          for (UINT k = 0; k < 4; ++k) sample += "xyzw"[sampler.swizzle[k]];
        }
        Store(in, sample);
      } else if (version_.minor >= 4) {
        Store(in, Sample(n, StageKind(n), Source(in.sources[0])));
      } else {
        setT(Sample(n, StageKind(n), TexCoord(n)));
      }
      return true;
    case D3DSIO_TEXLDL: {
      ShaderSamplerKind kind = DeclaredKind(in.sources[1].number);
      std::string c = Source(in.sources[0]);
      Store(in,
            "textureLod(" + SamplerName(in.sources[1].number, kind) + ", " + Coordinates(kind, c) + ", (" + c + ").w)");
      return true;
    }
    case D3DSIO_TEXLDD: {
      ShaderSamplerKind kind = DeclaredKind(in.sources[1].number);
      std::string c = Source(in.sources[0]);
      const char* part = kind == ShaderSamplerKind::Flat ? ").xy" : ").xyz";
      Store(in, "textureGrad(" + SamplerName(in.sources[1].number, kind) + ", " + Coordinates(kind, c) + ", (" +
                    Source(in.sources[2]) + part + ", (" + Source(in.sources[3]) + part + ")");
      return true;
    }
    case D3DSIO_TEXBEM:
    case D3DSIO_TEXBEML: {
      std::string m = bump(n);
      std::string b = sourceT();
      std::string coordinates = "vec4(" + TexCoord(n) + ".xy + vec2(" + m + ".x * (" + b + ").x + " + m + ".z * (" + b +
                                ").y, " + m + ".y * (" + b + ").x + " + m + ".w * (" + b + ").y), 0.0, 1.0)";
      std::string texel = Sample(n, StageKind(n), coordinates);
      if (in.opcode == D3DSIO_TEXBEML) {
        std::string l = FormatString("uBumpLuminance[%u]", n < 8 ? n : 0);
        texel = "(" + texel + " * vec4(vec3(clamp((" + b + ").z * " + l + ".x + " + l + ".y, 0.0, 1.0)), 1.0))";
      }
      setT(texel);
      return true;
    }
    case D3DSIO_TEXREG2AR: setT(Sample(n, StageKind(n), "vec4((" + sourceT() + ").wx, 0.0, 1.0)")); return true;
    case D3DSIO_TEXREG2GB: setT(Sample(n, StageKind(n), "vec4((" + sourceT() + ").yz, 0.0, 1.0)")); return true;
    case D3DSIO_TEXREG2RGB: setT(Sample(n, StageKind(n), "vec4((" + sourceT() + ").xyz, 1.0)")); return true;
    case D3DSIO_TEXM3x2PAD:
      usesRows_ = true;
      Line("row0 = dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz);");
      return true;
    case D3DSIO_TEXM3x3PAD: {
      usesRows_ = true;
      bool second = &in != &shader_.instructions.front() && (&in - 1)->opcode == D3DSIO_TEXM3x3PAD;
      Line(std::string(second ? "row1" : "row0") + " = dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz);");
      return true;
    }
    case D3DSIO_TEXM3x2TEX:
      usesRows_ = true;
      setT(Sample(n, StageKind(n), "vec4(row0, dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz), 0.0, 1.0)"));
      return true;
    case D3DSIO_TEXM3x2DEPTH:
      usesRows_ = true;
      writesDepth_ = true;
      Line("{ float w = dot(" + TexCoord(n) + ".xyz, (" + sourceT() +
           ").xyz); oDepth.x = w == 0.0 ? 1.0 : row0 / w; }");
      return true;
    case D3DSIO_TEXM3x3TEX:
    case D3DSIO_TEXM3x3:
    case D3DSIO_TEXM3x3SPEC:
    case D3DSIO_TEXM3x3VSPEC: {
      usesRows_ = true;
      Line("row2 = dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz);");
      std::string normal = "vec4(row0, row1, row2, 1.0)";
      if (in.opcode == D3DSIO_TEXM3x3) {
        setT(normal);
      } else if (in.opcode == D3DSIO_TEXM3x3TEX) {
        setT(Sample(n, StageKind(n), normal));
      } else {
        std::string eye = in.opcode == D3DSIO_TEXM3x3SPEC
                              ? "(" + Source(in.sources[1]) + ").xyz"
                              : "vec3(" + TexCoord(n - 2) + ".w, " + TexCoord(n - 1) + ".w, " + TexCoord(n) + ".w)";
        Line("{ vec3 N = vec3(row0, row1, row2); vec3 E = " + eye + ";");
        Line("  reflected = vec4(2.0 * N * dot(N, E) / dot(N, N) - E, 1.0); }");
        setT(Sample(n, StageKind(n), "reflected"));
      }
      return true;
    }
    case D3DSIO_TEXDP3TEX:
      setT(Sample(n, StageKind(n), "vec4(dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz), 0.0, 0.0, 1.0)"));
      return true;
    case D3DSIO_TEXDP3: setT("vec4(dot(" + TexCoord(n) + ".xyz, (" + sourceT() + ").xyz))"); return true;
    case D3DSIO_TEXDEPTH:
      writesDepth_ = true;
      temps_.set(n < 32 ? n : 0);
      Line(FormatString("oDepth.x = r%u.y == 0.0 ? 1.0 : r%u.x / r%u.y;", n, n, n));
      return true;
    case D3DSIO_BEM: {
      std::string m = bump(n);
      std::string a = Source(in.sources[0]), b = Source(in.sources[1]);
      Store(in, "vec4((" + a + ").x + " + m + ".x * (" + b + ").x + " + m + ".z * (" + b + ").y, (" + a + ").y + " + m +
                    ".y * (" + b + ").x + " + m + ".w * (" + b + ").y, 0.0, 0.0)");
      return true;
    }
    default: return false;
  }
}

bool Translator::Flow(const ShaderInstruction& in) {
  auto condition = [&]() -> std::string {
    if (in.opcode == D3DSIO_IFC || in.opcode == D3DSIO_BREAKC) {
      return "(" + Source(in.sources[0]) + ").x " + CompareOperator(in.Comparison()) + " (" + Source(in.sources[1]) +
             ").x";
    }
    const ShaderSource& s = in.opcode == D3DSIO_CALLNZ ? in.sources[1] : in.sources[0];
    if (s.type == D3DSPR_CONSTBOOL) {
      std::string b = BoolName(s.number);
      return s.modifier == D3DSPSM_NOT ? "!" + b : b;
    }
    return "(" + Source(s) + ").x != 0.0";
  };
  switch (in.opcode) {
    case D3DSIO_IF:
    case D3DSIO_IFC:
      Line("if (" + condition() + ") {");
      ++indent_;
      blocks_.push_back(D3DSIO_IF);
      return true;
    case D3DSIO_ELSE:
      if (blocks_.empty() || blocks_.back() != D3DSIO_IF) return Fail("else without if");
      blocks_.back() = D3DSIO_ELSE;
      --indent_;
      Line("} else {");
      ++indent_;
      return true;
    case D3DSIO_ENDIF:
      if (blocks_.empty() || (blocks_.back() != D3DSIO_IF && blocks_.back() != D3DSIO_ELSE)) {
        return Fail("endif without if");
      }
      blocks_.pop_back();
      --indent_;
      Line("}");
      return true;
    case D3DSIO_LOOP:
    case D3DSIO_REP: {
      const ShaderSource& counter = in.opcode == D3DSIO_LOOP ? in.sources[1] : in.sources[0];
      std::string control = IntName(counter.number < 16 ? counter.number : 0);
      int depth = loopDepth_++;
      if (in.opcode == D3DSIO_LOOP) {
        usesLoop_ = true;
        Line(FormatString("{ int savedLoop%d = aL; aL = ", depth) + control + ".y;");
        Line(FormatString("for (int k%d = 0; k%d < ", depth, depth) + control + FormatString(".x; ++k%d) {", depth));
      } else {
        Line(FormatString("{ for (int k%d = 0; k%d < ", depth, depth) + control + FormatString(".x; ++k%d) {", depth));
      }
      ++indent_;
      loopControls_.push_back(in.opcode == D3DSIO_LOOP ? control : std::string());
      blocks_.push_back(in.opcode);
      return true;
    }
    case D3DSIO_ENDLOOP:
    case D3DSIO_ENDREP: {
      DWORD opening = in.opcode == D3DSIO_ENDLOOP ? D3DSIO_LOOP : D3DSIO_REP;
      if (blocks_.empty() || blocks_.back() != opening || loopControls_.empty()) return Fail("loop end without loop");
      blocks_.pop_back();
      std::string control = loopControls_.back();
      loopControls_.pop_back();
      int depth = --loopDepth_;
      if (!control.empty()) Line("aL += " + control + ".z;");
      --indent_;
      if (!control.empty()) {
        Line(FormatString("} aL = savedLoop%d; }", depth));
      } else {
        Line("} }");
      }
      return true;
    }
    case D3DSIO_BREAK: Line("break;"); return true;
    case D3DSIO_BREAKC: Line("if (" + condition() + ") break;"); return true;
    case D3DSIO_BREAKP: {
      usesPredicate_ = true;
      std::string p = std::string("p0.") + "xyzw"[in.sources[0].swizzle[0]];
      Line("if (" + std::string(in.sources[0].modifier == D3DSPSM_NOT ? "!" : "") + p + ") break;");
      return true;
    }
    case D3DSIO_CALL: Line(FormatString("label%u();", in.sources[0].number)); return true;
    case D3DSIO_CALLNZ:
      Line("if (" + condition() + ") " + FormatString("label%u();", in.sources[0].number));
      return true;
    case D3DSIO_RET: Line("return;"); return true;
    default: return false;
  }
}

std::string Translator::Assemble() {
  std::string s = "#version 330 core\n";
  const bool pixel = version_.pixel;
  const char* colorQualifier = options_.flatColors ? "flat " : "";
  if (pixel) {
    if (Pixel3()) {
      // Two registers may read the same usage; each varying is declared once.
      std::vector<std::string> declared;
      for (const Declared& input : declaredInputs_) {
        std::string name = VaryingName(input.usage, input.index);
        if (!Provided(input) || std::find(declared.begin(), declared.end(), name) != declared.end()) continue;
        declared.push_back(name);
        bool color = input.usage == D3DDECLUSAGE_COLOR;
        if (input.usage == D3DDECLUSAGE_FOG) {
          s += "in float vFog;\n";
        } else {
          s += FormatString("%sin vec4 %s;\n", color ? colorQualifier : "", name.c_str());
        }
      }
    } else {
      if (colorInputs_[0]) s += FormatString("%sin vec4 vDiffuse;\n", colorQualifier);
      if (colorInputs_[1]) s += FormatString("%sin vec4 vSpecular;\n", colorQualifier);
      for (UINT set = 0; set < 8; ++set) {
        bool read = texcoordInputs_[set] || (version_.major >= 2 && textureRegisters_[set]) ||
                    (version_.major == 1 && version_.minor >= 4 && textureRegisters_[set]);
        if (read) s += FormatString("in vec4 vTexCoord%u;\n", set);
        if (read) texcoordInputs_.set(set);
      }
    }
    if (options_.pointSprite) {
      for (UINT set = 0; set < 8; ++set) s += FormatString("#define vTexCoord%u vec4(gl_PointCoord, 0.0, 1.0)\n", set);
    }
    s += "layout(location = 0) out vec4 fragColor;\n";
    for (UINT k = 1; k < 4; ++k) {
      if (colorOutputs_[k]) s += FormatString("layout(location = %u) out vec4 fragColor%u;\n", k, k);
    }
    if (options_.alphaFunc) s += "uniform float uAlphaReference;\n";
    if (out_.bumpEnvironment) s += "uniform vec4 uBumpEnv[8];\nuniform vec2 uBumpLuminance[8];\n";
  } else {
    for (const Declared& input : declaredInputs_) {
      if (input.number < 16) s += FormatString("layout(location = %u) in vec4 va%u;\n", input.number, input.number);
    }
    s += FormatString("%sout vec4 vDiffuse;\n%sout vec4 vSpecular;\n", colorQualifier, colorQualifier);
    for (UINT set = 0; set < 8; ++set) s += FormatString("out vec4 vTexCoord%u;\n", set);
    s += "out float vFog;\n";
    out_.outputs.push_back(ShaderUsageKey(D3DDECLUSAGE_FOG, 0));
    for (const Declared& output : declaredOutputs_) {
      UINT key = ShaderUsageKey(output.usage, output.index);
      if (!IsGenericVarying(output.usage, output.index) ||
          std::find(out_.outputs.begin(), out_.outputs.end(), key) != out_.outputs.end()) {
        continue;
      }
      out_.outputs.push_back(key);
      bool color = output.usage == D3DDECLUSAGE_COLOR;
      s += FormatString("%sout vec4 %s;\n", color ? colorQualifier : "",
                        VaryingName(output.usage, output.index).c_str());
    }
    s += "uniform vec4 uViewport;\n";
    for (const Declared& output : declaredOutputs_) {
      if (output.usage == D3DDECLUSAGE_PSIZE && output.number < 16) writesPointSize_ = true;
    }
    if (writesPointSize_) s += "uniform vec2 uPointSize;\n";
    out_.pointSize = writesPointSize_;
  }
  UINT uniformCount = relativeConstants_ ? (pixel ? 224u : 256u) : constantCount_;
  out_.floatConstants = uniformCount;
  if (uniformCount) s += FormatString("uniform vec4 %sc[%u];\n", prefix_, uniformCount);
  if (out_.intConstants) s += FormatString("uniform ivec4 %si[16];\n", prefix_);
  if (out_.boolConstants) s += FormatString("uniform bool %sb[16];\n", prefix_);
  for (UINT k = 0; k < 16; ++k) {
    static const char* kTypes[] = {"sampler2D", "sampler2D", "samplerCube", "sampler3D"};
    if (out_.samplers[k] != ShaderSamplerKind::None) {
      s += FormatString("uniform %s %s_s%u;\n", kTypes[static_cast<int>(out_.samplers[k])], pixel ? "ps" : "vs", k);
    }
  }
  for (const auto& [index, value] : floatDefs_)
    s += FormatString("const vec4 %sdc%u = ", prefix_, index) + VectorLiteral(value) + ";\n";
  for (const auto& [index, value] : intDefs_) {
    s += FormatString("const ivec4 %sdi%u = ivec4(%d, %d, %d, %d);\n", prefix_, index, value[0], value[1], value[2],
                      value[3]);
  }
  if (relativeConstants_) {
    s += FormatString("vec4 %scRead(int i) {\n", prefix_);
    for (const auto& [index, value] : floatDefs_)
      s += FormatString("  if (i == %u) return %sdc%u;\n", index, prefix_, index);
    std::string read = FormatString("%sc[i]", prefix_);
    if (Pixel1x()) read = "clamp(" + read + ", -1.0, 1.0)";
    s += FormatString("  return (i >= 0 && i < %u) ? ", uniformCount) + read + " : vec4(0.0);\n}\n";
  }
  for (const Helper& helper : kHelpers) {
    if (functions_.find(helper.name) != std::string::npos) s += helper.code;
  }
  // Registers are globals so that subroutines share them.
  for (UINT k = 0; k < 32; ++k) {
    if (temps_[k]) s += FormatString("vec4 r%u = vec4(0.0);\n", k);
  }
  if (pixel) {
    for (UINT k = 0; k < 8; ++k) {
      if (textureRegisters_[k]) s += FormatString("vec4 t%u = vec4(0.0);\n", k);
    }
    for (UINT k = 0; k < 2; ++k) {
      if (colorInputs_[k]) s += FormatString("vec4 v%u = vec4(0.0);\n", k);
    }
    if (Pixel3()) s += "vec4 v[16];\n";
    for (UINT k = 0; k < 4; ++k) {
      if (colorOutputs_[k]) s += FormatString("vec4 oC%u = vec4(0.0);\n", k);
    }
    if (writesDepth_) s += "vec4 oDepth = vec4(0.0);\n";
    if (usesRows_) s += "float row0 = 0.0, row1 = 0.0, row2 = 0.0;\nvec4 reflected = vec4(0.0);\n";
  } else {
    s += "vec4 v[16];\n";
    if (version_.major >= 3) {
      s += "vec4 o[16];\n";
    } else {
      s += "vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\nvec4 oFog = vec4(0.0);\nvec4 oPts = vec4(1.0);\n";
      s += "vec4 oD0 = vec4(0.0);\nvec4 oD1 = vec4(0.0);\n";
      for (UINT k = 0; k < 8; ++k) s += FormatString("vec4 oT%u = vec4(0.0);\n", k);
    }
  }
  if (usesAddress_) s += "ivec4 a0 = ivec4(0);\n";
  if (usesLoop_) s += "int aL = 0;\n";
  if (usesPredicate_) s += "bvec4 p0 = bvec4(false);\n";
  s += functions_;
  s += "void main() {\n";
  // Prologue: inputs into registers.
  if (pixel) {
    if (Pixel3()) {
      for (const Declared& input : declaredInputs_) {
        if (input.number >= 16) continue;
        std::string value = VaryingName(input.usage, input.index);
        if (!Provided(input)) {
          value = "vec4(0.0)";
        } else if (input.usage == D3DDECLUSAGE_FOG) {
          value = "vec4(vFog, 0.0, 0.0, 0.0)";
        }
        s += FormatString("  v[%u] = %s;\n", input.number, value.c_str());
      }
    } else {
      const char* v0 = options_.clampColorInputs ? "  v0 = clamp(vDiffuse, 0.0, 1.0);\n" : "  v0 = vDiffuse;\n";
      const char* v1 = options_.clampColorInputs ? "  v1 = clamp(vSpecular, 0.0, 1.0);\n" : "  v1 = vSpecular;\n";
      if (colorInputs_[0]) s += v0;
      if (colorInputs_[1]) s += v1;
      for (UINT k = 0; k < 8; ++k) {
        if (textureRegisters_[k] && texcoordInputs_[k]) s += FormatString("  t%u = vTexCoord%u;\n", k, k);
      }
    }
    if (writesDepth_) s += "  oDepth = vec4(gl_FragCoord.z);\n";
  } else {
    for (const Declared& input : declaredInputs_) {
      if (input.number < 16) s += FormatString("  v[%u] = va%u;\n", input.number, input.number);
    }
  }
  s += body_;
  // Epilogue: registers into the stage's outputs.
  if (pixel) {
    if (version_.major == 1) {
      s += options_.targetClampsColor ? "  vec4 result = r0;\n" : "  vec4 result = clamp(r0, 0.0, 1.0);\n";
    } else {
      s += "  vec4 result = oC0;\n";
    }
    if (options_.alphaFunc) {
      static const char* kCompare[] = {"", "false", "a < r", "a == r", "a <= r", "a > r", "a != r", "a >= r", "true"};
      const char* compare = options_.alphaFunc <= D3DCMP_ALWAYS ? kCompare[options_.alphaFunc] : "true";
      s += FormatString(
          "  { float a = floor(clamp(result.a, 0.0, 1.0) * 255.0 + 0.5); float r = uAlphaReference;\n"
          "    if (!(%s)) discard; }\n",
          compare);
      out_.alphaTest = true;
    }
    s += "  fragColor = result;\n";
    out_.colorOutputs = static_cast<UINT>(colorOutputs_.to_ulong()) | 1u;
    for (UINT k = 1; k < 4; ++k) {
      if (colorOutputs_[k]) s += FormatString("  fragColor%u = oC%u;\n", k, k);
    }
    if (writesDepth_) s += "  gl_FragDepth = clamp(oDepth.x, 0.0, 1.0);\n";
  } else {
    std::string position = "oPos";
    if (version_.major >= 3) {
      position = "vec4(0.0, 0.0, 0.0, 1.0)";
      s += "  vDiffuse = vec4(0.0);\n  vSpecular = vec4(0.0);\n  vFog = 0.0;\n";
      for (UINT k = 0; k < 8; ++k) s += FormatString("  vTexCoord%u = vec4(0.0);\n", k);
      for (const Declared& output : declaredOutputs_) {
        if (output.number >= 16) continue;
        if (output.usage == D3DDECLUSAGE_POSITION && output.index == 0) {
          position = FormatString("o[%u]", output.number);
        } else if (output.usage == D3DDECLUSAGE_PSIZE) {
          s += FormatString("  gl_PointSize = clamp(o[%u].x, uPointSize.x, uPointSize.y);\n", output.number);
        } else if (output.usage == D3DDECLUSAGE_FOG) {
          s += FormatString("  vFog = o[%u].x;\n", output.number);
        } else if (output.index < 16) {
          s += FormatString("  %s = o[%u];\n", VaryingName(output.usage, output.index).c_str(), output.number);
        }
      }
    } else {
      // Colours leave the vertex shader clamped to [0, 1].
      s += "  vDiffuse = clamp(oD0, 0.0, 1.0);\n  vSpecular = clamp(oD1, 0.0, 1.0);\n  vFog = oFog.x;\n";
      for (UINT k = 0; k < 8; ++k) s += FormatString("  vTexCoord%u = oT%u;\n", k, k);
      if (writesPointSize_) s += "  gl_PointSize = clamp(oPts.x, uPointSize.x, uPointSize.y);\n";
    }
    // Direct3D's viewport puts pixel centres half a pixel off OpenGL's, its y axis points up
    // the screen while rows are stored downwards, and its depth range starts at 0.
    s += "  vec4 p = " + position + ";\n";
    s += "  gl_Position = vec4(p.x + p.w / uViewport.z, -p.y + p.w / uViewport.w, p.z * 2.0 - p.w, p.w);\n";
  }
  s += "}\n";
  return s;
}

bool Translator::Run(std::string* problem) {
  Collect();
  const std::vector<ShaderInstruction>& list = shader_.instructions;
  // The main program ends at the first label; each label starts a subroutine.
  size_t mainEnd = list.size();
  for (size_t k = 0; k < list.size(); ++k) {
    if (list[k].opcode == D3DSIO_LABEL) {
      mainEnd = k;
      break;
    }
  }
  auto translateRange = [&](size_t from, size_t to) {
    for (size_t index = from; index < to; ++index) {
      const ShaderInstruction& in = list[index];
      switch (in.opcode) {
        case D3DSIO_NOP:
        case D3DSIO_DCL:
        case D3DSIO_DEF:
        case D3DSIO_DEFI:
        case D3DSIO_DEFB:
        case D3DSIO_PHASE:
        case D3DSIO_LABEL: continue;
        default: break;
      }
      if (Flow(in)) continue;
      if (Texture(in)) continue;
      std::string value;
      if (!Arithmetic(in, value)) {
        Fail(std::string("instruction ") + in.info->mnemonic + " cannot be translated");
        continue;
      }
      // A coissued partner reads its sources before either instruction writes.
      if (index + 1 < to && list[index + 1].coissue) {
        std::string partner;
        if (Arithmetic(list[index + 1], partner)) {
          Line("{ vec4 first = " + value + "; vec4 second = " + partner + ";");
          ++indent_;
          Store(in, "first");
          Store(list[index + 1], "second");
          --indent_;
          Line("}");
          ++index;
          continue;
        }
      }
      Store(in, value);
    }
  };
  translateRange(0, mainEnd);
  std::string mainBody = std::move(body_);
  // Subroutines.
  std::string prototypes;
  for (size_t k = mainEnd; k < list.size(); ++k) {
    if (list[k].opcode != D3DSIO_LABEL) continue;
    size_t end = k + 1;
    while (end < list.size() && list[end].opcode != D3DSIO_LABEL) ++end;
    body_.clear();
    if (!blocks_.empty()) Fail("a block is not closed before a label");
    translateRange(k + 1, end);
    UINT label = list[k].sources[0].number;
    prototypes += FormatString("void label%u();\n", label);
    functions_ += FormatString("void label%u() {\n", label) + body_ + "}\n";
    k = end - 1;
  }
  // The main program is a function too, so that a ret inside it still reaches the epilogue.
  functions_ = prototypes + functions_ + "void shaderMain() {\n" + mainBody + "}\n";
  body_ = "  shaderMain();\n";
  if (!blocks_.empty() || indent_ != 1) Fail("unbalanced blocks");
  if (!problem_.empty()) {
    if (problem) *problem = problem_;
    return false;
  }
  out_.pixel = version_.pixel;
  for (const Declared& input : declaredInputs_) {
    out_.inputs.push_back(
        ShaderInputDeclaration{input.number, static_cast<BYTE>(input.usage), static_cast<BYTE>(input.index)});
  }
  out_.source = Assemble();
  return true;
}

}  // namespace

HRESULT TranslateShader(const DecodedShader& shader, const ShaderTranslationOptions& options, GlslShader& out,
                        std::string* problem) {
  out = GlslShader{};
  Translator translator(shader, options, out);
  if (!translator.Run(problem)) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

std::string PretransformedVertexSource(bool flatColors) {
  const char* q = flatColors ? "flat " : "";
  std::string s = "#version 330 core\n";
  s += "layout(location = 0) in vec4 inPosition;\nlayout(location = 1) in vec4 inDiffuse;\n"
       "layout(location = 2) in vec4 inSpecular;\n";
  for (UINT set = 0; set < 8; ++set) s += FormatString("layout(location = %u) in vec4 inTexCoord%u;\n", 3 + set, set);
  s += "uniform vec4 uViewport;\n";
  s += FormatString("%sout vec4 vDiffuse;\n%sout vec4 vSpecular;\n", q, q);
  for (UINT set = 0; set < 8; ++set) s += FormatString("out vec4 vTexCoord%u;\n", set);
  s += "void main() {\n"
       // Screen-space vertices: pixel centres lie on integer coordinates, rows run downwards
       // (as they are stored), and 1/rhw restores w for perspective-correct interpolation.
       "  vec2 ndc = (inPosition.xy + vec2(0.5) - uViewport.xy) / uViewport.zw * 2.0 - vec2(1.0);\n"
       "  float w = inPosition.w == 0.0 ? 1.0 : 1.0 / inPosition.w;\n"
       "  gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);\n"
       "  vDiffuse = inDiffuse;\n  vSpecular = inSpecular;\n";
  for (UINT set = 0; set < 8; ++set) s += FormatString("  vTexCoord%u = inTexCoord%u;\n", set, set);
  s += "}\n";
  return s;
}

}  // namespace rastro
