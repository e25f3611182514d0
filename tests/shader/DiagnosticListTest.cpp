#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DiagnosticList.h"
#include "ResultBuffer.h"
#include "ShaderVersion.h"
#include "d3d9types.h"

namespace rastro {
namespace {

Token Position(const char* file, DWORD line) {
  Token token;
  token.fileName = file;
  token.line = line;
  return token;
}

// The table's messages carry the codes of their stage and keep their severity when recorded.
TEST(DiagnosticMessages, CodesLieInTheirStageRanges) {
  for (const DiagnosticMessageInfo& info : kDiagnosticMessages) {
    SCOPED_TRACE(info.name);
    DWORD c = info.code;
    bool inRange =
        c == 0 || (c >= 1001 && c <= 1007) || (c >= 1500 && c <= 1517) || (c >= 2000 && c <= 2031) || c == 5000;
    EXPECT_TRUE(inRange);
    // Only the version fix-up, the oversized debug block and the validator's warnings warn.
    if (info.severity == DiagnosticSeverity::Warning) {
      EXPECT_TRUE(c == 2015 || c == 2030 || c == 5000);
    }
  }
  for (std::size_t i = 0; i < std::size(kDiagnosticMessages); ++i)
    for (std::size_t j = i + 1; j < std::size(kDiagnosticMessages); ++j)
      EXPECT_STRNE(kDiagnosticMessages[i].name, kDiagnosticMessages[j].name);
}

TEST(DiagnosticMessages, ReportUsesTheTableCodeSeverityAndFormat) {
  DiagnosticList list;
  Token position = Position("v.vsh", 4);
  REPORT_DIAGNOSTIC(list, &position, InvalidRegisterAtOffset, "c", 300u);
  REPORT_DIAGNOSTIC(list, &position, VersionNoLongerSupported, "vs_1_0", "vs_1_1");
  REPORT_DIAGNOSTIC(list, nullptr, OutOfMemory);
  list.Report(&position, DiagnosticMessage::ValidatorWarning, 123, diagnostic_format::ValidatorWarning, "text");
  EXPECT_EQ(list.Text(),
            "v.vsh(4): error X2005: invalid register 'c[300]'\n"
            "v.vsh(4): warning X2015: vs_1_0 is no longer supported; using vs_1_1\n"
            "internal error: out of memory\n"
            "v.vsh(4): warning X5123: text\n");
  EXPECT_EQ(list.ErrorCount(), 2u);
  EXPECT_EQ(list.WarningCount(), 2u);
}

TEST(DiagnosticList, LinesCarryFileLineAndCodePrefix) {
  DiagnosticList list;
  Token simple = Position("SimplePS20.psh", 12);
  Token lineZero = Position("a.psh", 0);
  Token noFile = Position(nullptr, 3);
  list.RecordError(&simple, 1005, "string continues past end of line");
  list.RecordError(&lineZero, 2000, "x%d", 5);
  list.RecordError(&noFile, 7, "y");
  list.RecordError(nullptr, 0, "plain text");
  list.RecordError(&simple, 0, "no code");
  EXPECT_EQ(list.Text(),
            "SimplePS20.psh(12): error X1005: string continues past end of line\n"
            "a.psh(1): error X2000: x5\n"
            "(3): error X7: y\n"
            "plain text\n"
            "SimplePS20.psh(12): no code\n");
  EXPECT_EQ(list.ErrorCount(), 5u);
  EXPECT_EQ(list.WarningCount(), 0u);
}

TEST(DiagnosticList, LongLinesAreCutAt4094Characters) {
  DiagnosticList list;
  std::string longText(5000, 'm');
  list.RecordError(nullptr, 0, "%s", longText.c_str());
  EXPECT_EQ(list.Text(), std::string(4094, 'm') + "\n");

  DiagnosticList prefixed;
  std::string longName(5000, 'f');
  Token position = Position(longName.c_str(), 2);
  prefixed.RecordError(&position, 1001, "lost");
  EXPECT_EQ(prefixed.Text(), std::string(4094, 'f') + "\n");

  DiagnosticList partly;
  std::string name(4080, 'g');
  Token near = Position(name.c_str(), 1);
  partly.RecordError(&near, 1001, "lost");
  // 4080 + "(1): " + "error X1001: " cut to the room left.
  EXPECT_EQ(partly.Text(), name + "(1): error X10" + "\n");
}

TEST(DiagnosticList, WarningsFollowLevelAndRules) {
  DiagnosticList list;
  Token position = Position("w.psh", 4);
  list.RecordWarning(&position, 2000, "shown");
  EXPECT_EQ(list.Text(), "w.psh(4): warning X2000: shown\n");
  EXPECT_EQ(list.WarningCount(), 1u);

  list.SetWarningRule(2001, 2);  // above the warning level 1
  list.RecordWarning(&position, 2001, "dropped");
  list.SetWarningRule(2002, 0);  // disabled
  list.RecordWarning(&position, 2002, "dropped");
  EXPECT_EQ(list.WarningCount(), 1u);
  EXPECT_EQ(list.ErrorCount(), 0u);

  list.SetWarningRule(2003, DiagnosticList::kRuleError);
  list.RecordWarning(&position, 2003, "promoted");
  EXPECT_EQ(list.ErrorCount(), 1u);
  EXPECT_EQ(list.WarningCount(), 1u);

  list.SetWarningLevel(2);
  list.RecordWarning(&position, 2001, "now shown");
  list.SetWarningLevel(0);
  list.RecordWarning(&position, 2000, "all off");
  EXPECT_EQ(list.Text(),
            "w.psh(4): warning X2000: shown\n"
            "w.psh(4): error X2003: promoted\n"
            "w.psh(4): warning X2001: now shown\n");
}

TEST(DiagnosticList, ShowOnceAndDefaultRules) {
  DiagnosticList list;
  list.SetWarningRule(2010, DiagnosticList::kRuleOnce);
  list.RecordWarning(nullptr, 2010, "first");
  list.RecordWarning(nullptr, 2010, "second");
  EXPECT_EQ(list.WarningCount(), 1u);
  // "default" drops show-once but keeps level 1 and the shown mark.
  list.SetWarningRule(2010, DiagnosticList::kRuleDefault);
  list.RecordWarning(nullptr, 2010, "third");
  EXPECT_EQ(list.Text(), "warning X2010: first\nwarning X2010: third\n");
  // "once" leaves the level alone: a disabled code stays disabled.
  list.SetWarningRule(2011, 0);
  list.SetWarningRule(2011, DiagnosticList::kRuleOnce);
  list.RecordWarning(nullptr, 2011, "never");
  EXPECT_EQ(list.WarningCount(), 2u);
  // Many codes inserted out of order keep their own rules.
  for (DWORD code = 3000; code > 2900; --code) list.SetWarningRule(code, code % 2 ? 0 : 1);
  list.RecordWarning(nullptr, 2999, "odd: disabled");
  list.RecordWarning(nullptr, 2998, "even");
  EXPECT_EQ(list.WarningCount(), 3u);
}

TEST(DiagnosticList, ErrorTextIsNullWithoutMessagesAndOrderedOtherwise) {
  DiagnosticList empty;
  ID3DXBuffer* buffer = reinterpret_cast<ID3DXBuffer*>(0x1);
  EXPECT_EQ(empty.MakeErrorText(&buffer), S_OK);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(empty.MakeErrorText(nullptr), S_OK);

  DiagnosticList list;
  list.RecordError(nullptr, 1, "one");
  list.RecordWarning(nullptr, 2, "two");
  list.RecordError(nullptr, 0, "three");
  ASSERT_EQ(list.MakeErrorText(&buffer), S_OK);
  ASSERT_NE(buffer, nullptr);
  const char expected[] = "error X1: one\nwarning X2: two\nthree\n";
  ASSERT_EQ(buffer->GetBufferSize(), sizeof expected);
  EXPECT_EQ(std::memcmp(buffer->GetBufferPointer(), expected, sizeof expected), 0);
  EXPECT_EQ(buffer->Release(), 0u);
}

TEST(ResultBuffer, ReferenceCountingAndInterfaces) {
  ResultBuffer* buffer = nullptr;
  ASSERT_EQ(ResultBuffer::Create(12, &buffer), S_OK);
  EXPECT_EQ(buffer->GetBufferSize(), 12u);
  EXPECT_NE(buffer->GetBufferPointer(), nullptr);
  std::memset(buffer->GetBufferPointer(), 0xAB, 12);

  void* object = nullptr;
  EXPECT_EQ(buffer->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<ID3DXBuffer*>(buffer));
  EXPECT_EQ(buffer->QueryInterface(IID_ID3DXBuffer, &object), S_OK);
  EXPECT_EQ(buffer->AddRef(), 4u);
  constexpr IID kOther = {0x932E6A7E, 0xC68E, 0x45DD, {0xA7, 0xBF, 0x53, 0xD1, 0x9C, 0x86, 0xDB, 0x20}};
  object = buffer;
  EXPECT_EQ(buffer->QueryInterface(kOther, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(buffer->Release(), 3u);
  EXPECT_EQ(buffer->Release(), 2u);
  EXPECT_EQ(buffer->Release(), 1u);
  EXPECT_EQ(buffer->Release(), 0u);

  EXPECT_EQ(ResultBuffer::Create(4, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateBuffer(4, nullptr), D3DERR_INVALIDCALL);
  ID3DXBuffer* created = nullptr;
  ASSERT_EQ(D3DXCreateBuffer(0, &created), S_OK);
  EXPECT_EQ(created->GetBufferSize(), 0u);
  EXPECT_EQ(created->Release(), 0u);
}

struct VersionCase {
  const char* name;
  DWORD required;
  HRESULT result;
  DWORD version;
};

class ShaderVersionLookup : public testing::TestWithParam<VersionCase> {};

TEST_P(ShaderVersionLookup, FindsNamesWithTheirBits) {
  const VersionCase& c = GetParam();
  ShaderVersionEntry entry{};
  EXPECT_EQ(LookupShaderVersion(c.name, c.required, &entry), c.result);
  if (c.result == S_OK) {
    EXPECT_STREQ(entry.Name, c.name);
    EXPECT_EQ(entry.Version, c.version);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShaderVersionLookup,
    testing::Values(VersionCase{"ps_2_0", 1, S_OK, 0xFFFF0200}, VersionCase{"ps_2_a", 1, E_FAIL, 0},
                    VersionCase{"ps_2_a", 2, S_OK, 0xFFFF0202}, VersionCase{"PS_2_0", 1, E_FAIL, 0},
                    VersionCase{"ps.1.1", 1, S_OK, 0xFFFF0101}, VersionCase{"vs_1_1", 3, S_OK, 0xFFFE0101},
                    VersionCase{"vs_2_x", 2, E_FAIL, 0}, VersionCase{"vs.2.x", 2, S_OK, 0xFFFE0201},
                    VersionCase{"vs_3_sw", 1, S_OK, 0xFFFE03FF}, VersionCase{"ps.3.sw", 1, S_OK, 0xFFFF03FF},
                    VersionCase{"tx", 0, S_OK, 0x54580000}, VersionCase{"tx", 1, E_FAIL, 0},
                    VersionCase{"tx_1_0", 4, S_OK, 0x54580100}, VersionCase{"ps", 1, E_FAIL, 0},
                    VersionCase{"ps_2_0 ", 0, E_FAIL, 0}, VersionCase{"", 0, E_FAIL, 0},
                    VersionCase{"zz", 0, E_FAIL, 0}, VersionCase{"\xff", 0, E_FAIL, 0}));

TEST(ShaderVersion, NullNameAndNullEntry) {
  EXPECT_EQ(LookupShaderVersion(nullptr, 0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(LookupShaderVersion("vs_3_0", 1, nullptr), S_OK);
  EXPECT_EQ(ShaderVersionTable().size(), 42u);
}

}  // namespace
}  // namespace rastro
