// How the assembler streams its tokens through a shader validator and turns the validator's
// reports into messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Preprocessor.h"
#include "ShaderAssembler.h"

namespace rastro {
namespace {

struct SentTokens {
  std::string file;
  UINT line;
  std::vector<DWORD> tokens;
};

class FakeValidator final : public IDirect3DShaderValidator9 {
 public:
  HRESULT QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    ++releases;
    return --references;
  }
  HRESULT Begin(ShaderValidatorReport callback, void* context, DWORD reserved) override {
    report = callback;
    reportContext = context;
    EXPECT_EQ(reserved, 0u);
    return beginResult;
  }
  HRESULT Instruction(const char* file, UINT line, const DWORD* tokens, UINT count) override {
    sent.push_back({file ? file : "", line, std::vector<DWORD>(tokens, tokens + count)});
    if (onInstruction) return onInstruction(sent.size());
    return S_OK;
  }
  HRESULT End() override {
    ++ends;
    if (onEnd) onEnd();
    return endResult;
  }
  void Report(DWORD kind, DWORD code, const char* text) {
    report("elsewhere.psh", 99, kind, code, text, reportContext);
  }

  ULONG references = 1;
  int releases = 0;
  int ends = 0;
  HRESULT beginResult = S_OK;
  HRESULT endResult = S_OK;
  ShaderValidatorReport report = nullptr;
  void* reportContext = nullptr;
  std::vector<SentTokens> sent;
  std::function<HRESULT(std::size_t)> onInstruction;
  std::function<void()> onEnd;
};

FakeValidator* gValidator = nullptr;
int gCreations = 0;
IDirect3DShaderValidator9* CreateFake() {
  ++gCreations;
  return gValidator;
}

struct Outcome {
  HRESULT result;
  std::vector<DWORD> tokens;
  std::string messages;
};

class Validation : public testing::Test {
 protected:
  void SetUp() override {
    gValidator = &validator_;
    gCreations = 0;
  }
  void TearDown() override { gValidator = nullptr; }

  Outcome Run(const std::string& source, DWORD flags = 0) {
    Preprocessor preprocessor;
    Outcome outcome{};
    EXPECT_EQ(preprocessor.OpenMemorySource(source.data(), source.size(), "a.psh", nullptr, nullptr), S_OK);
    ID3DXBuffer* shader = nullptr;
    {
      ShaderAssembler assembler(preprocessor, &CreateFake);
      outcome.result = assembler.Run(flags, &shader);
    }
    if (shader) {
      const DWORD* words = static_cast<const DWORD*>(shader->GetBufferPointer());
      outcome.tokens.assign(words, words + shader->GetBufferSize() / 4);
      shader->Release();
    }
    outcome.messages = preprocessor.Diagnostics().Text();
    return outcome;
  }

  FakeValidator validator_;
};

TEST_F(Validation, SendsTheVersionEachInstructionAndTheEndToken) {
  Outcome outcome = Run("ps_2_0\nmov r0, c0\n\nmov oC0, r0\n");
  EXPECT_EQ(outcome.result, S_OK) << outcome.messages;
  ASSERT_EQ(validator_.sent.size(), 4u);
  EXPECT_EQ(validator_.sent[0].tokens, (std::vector<DWORD>{0xFFFF0200}));
  EXPECT_EQ(validator_.sent[0].line, 1u);
  EXPECT_EQ(validator_.sent[1].tokens, (std::vector<DWORD>{0x02000001, 0x800F0000, 0xA0E40000}));
  EXPECT_EQ(validator_.sent[1].file, "a.psh");
  EXPECT_EQ(validator_.sent[1].line, 2u);
  EXPECT_EQ(validator_.sent[2].line, 4u);
  EXPECT_EQ(validator_.sent[3].tokens, (std::vector<DWORD>{0x0000FFFF}));
  EXPECT_EQ(validator_.ends, 1);
  EXPECT_EQ(validator_.releases, 1);
  EXPECT_EQ(validator_.references, 0u);
}

TEST_F(Validation, ReportsCountAtTheStatementBeingValidated) {
  validator_.onInstruction = [&](std::size_t call) {
    if (call == 3) validator_.Report(2, 123, "text of the rule");
    if (call == 2) validator_.Report(5, 7, "a warning");
    if (call == 2) validator_.Report(3, 8, "ignored kind");
    return S_OK;
  };
  Outcome outcome = Run("ps_2_0\n\n\n\n\nmov r0, c0\nmov r1, c1\n");
  EXPECT_EQ(outcome.result, D3DXERR_INVALIDDATA);
  EXPECT_TRUE(outcome.tokens.empty());
  EXPECT_EQ(outcome.messages, "a.psh(6): warning X5007: a warning\na.psh(7): error X5123: text of the rule\n");
}

TEST_F(Validation, AnErrorAtTheEndFailsTheAssembly) {
  validator_.onEnd = [&] { validator_.Report(0x10006, 1, "no output written"); };
  Outcome outcome = Run("ps_2_0\nmov r0, c0\n");
  EXPECT_EQ(outcome.result, D3DXERR_INVALIDDATA);
  EXPECT_EQ(outcome.messages, "a.psh(3): error X5001: no output written\n");
}

TEST_F(Validation, SkippingValidationNeverCreatesTheValidator) {
  Outcome outcome = Run("ps_2_0\nmov r0, c0\n", D3DXSHADER_SKIPVALIDATION);
  EXPECT_EQ(outcome.result, S_OK);
  EXPECT_EQ(gCreations, 0);
  EXPECT_TRUE(validator_.sent.empty());
}

TEST_F(Validation, NoValidatorMeansNoValidationAndNoMessage) {
  gValidator = nullptr;
  Outcome outcome = Run("ps_2_0\nmov r0, c0\n");
  EXPECT_EQ(outcome.result, S_OK);
  EXPECT_EQ(gCreations, 1);
  EXPECT_EQ(outcome.messages, "");
}

TEST_F(Validation, FailuresOfBeginAndEndAreTheResult) {
  validator_.beginResult = E_OUTOFMEMORY;
  EXPECT_EQ(Run("ps_2_0\n").result, E_OUTOFMEMORY);
  EXPECT_TRUE(validator_.sent.empty());
  EXPECT_EQ(validator_.releases, 1);

  FakeValidator second;
  gValidator = &second;
  second.endResult = E_FAIL;
  EXPECT_EQ(Run("ps_2_0\n").result, E_FAIL);
  EXPECT_EQ(second.releases, 1);
}

TEST_F(Validation, AFailedInstructionStopsTheRun) {
  validator_.onInstruction = [](std::size_t call) { return call == 2 ? E_FAIL : S_OK; };
  Outcome outcome = Run("ps_2_0\nmov r0, c0\nmov r1, c1\nmov r2, c2\n");
  EXPECT_EQ(outcome.result, D3DXERR_INVALIDDATA);
  EXPECT_EQ(validator_.sent.size(), 2u);
  EXPECT_EQ(validator_.ends, 0);
}

TEST_F(Validation, StatementsWithUnknownRegistersAreNotSent) {
  Outcome outcome = Run("ps_2_0\nmov r0, q0\nmov r1, c1\n");
  EXPECT_EQ(outcome.result, D3DXERR_INVALIDDATA);
  ASSERT_EQ(validator_.sent.size(), 2u);
  EXPECT_EQ(validator_.sent[1].line, 3u);
  EXPECT_EQ(validator_.sent[1].tokens, (std::vector<DWORD>{0x02000001, 0x800F0001, 0xA0E40001}));
}

TEST_F(Validation, TheDebugBlockIsNotSent) {
  Outcome outcome = Run("ps_2_0\nmov r0, c0\n", D3DXSHADER_DEBUG);
  EXPECT_EQ(outcome.result, S_OK);
  ASSERT_EQ(validator_.sent.size(), 3u);
  EXPECT_EQ(validator_.sent[2].tokens, (std::vector<DWORD>{0x0000FFFF}));
  EXPECT_EQ(outcome.tokens[1] & 0xFFFF, 0xFFFEu);
}

}  // namespace
}  // namespace rastro
