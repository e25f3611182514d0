#include <gtest/gtest.h>

#include <cstring>

#include "Catalogue.h"
#include "Fakes.h"
#include "UntexturedTests.h"

namespace rastro::testing {
namespace {

TEST(CatalogueTest, SixteenRowsInRunOrder) {
  const std::vector<std::pair<std::string, unsigned>> expected{
      {"FFP - Pure fillrate", 32},
      {"FFP - Z pixel rate", 32},
      {"FFP - Single texture", 32},
      {"FFP - Dual texture", 32},
      {"FFP - Triple texture", 32},
      {"FFP - Quad texture", 32},
      {"PS 1.1 - Simple", 32},
      {"PS 1.4 - Simple", 32},
      {"PS 2.0 - Simple", 32},
      {"PS 2.0 PP - Simple", 32},
      {"PS 2.0 - Longer", 32},
      {"PS 2.0 PP - Longer", 32},
      {"PS 2.0 - Longer 4 Registers", 32},
      {"PS 2.0 PP - Longer 4 Registers", 32},
      {"PS 2.0 - Per Pixel Lighting", 16},
      {"PS 2.0 PP - Per Pixel Lighting", 16},
  };
  const auto catalogue = Catalogue();
  ASSERT_EQ(catalogue.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::unique_ptr<FillTest> test = catalogue[i].create(catalogue[i], {640, 480}, TestFiles{});
    ASSERT_NE(test, nullptr);
    EXPECT_EQ(test->Name(), expected[i].first) << i;
    EXPECT_EQ(catalogue[i].name, expected[i].first) << i;
    EXPECT_EQ(test->PixelFactor(), expected[i].second) << i;
  }
}

struct Vertex {
  float x, y, z, rhw;
  std::uint32_t colour;
};

std::vector<Vertex> VerticesOf(const FakeVertexBuffer& buffer) {
  std::vector<Vertex> vertices(buffer.Bytes().size() / 20);
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    const unsigned char* at = buffer.Bytes().data() + 20 * i;
    std::memcpy(&vertices[i].x, at, 4);
    std::memcpy(&vertices[i].y, at + 4, 4);
    std::memcpy(&vertices[i].z, at + 8, 4);
    std::memcpy(&vertices[i].rhw, at + 12, 4);
    std::memcpy(&vertices[i].colour, at + 16, 4);
  }
  return vertices;
}

struct UntexturedCase {
  const char* label;
  UntexturedTest::Kind kind;
  bool colourWriteCap;
  CallLog expectedCalls;
  std::array<std::uint32_t, 4> colours;
};

void PrintTo(const UntexturedCase& c, std::ostream* out) { *out << c.label; }

class UntexturedTestInit : public ::testing::TestWithParam<UntexturedCase> {};

TEST_P(UntexturedTestInit, SetsUpExactlyItsState) {
  const UntexturedCase& c = GetParam();
  CallLog log;
  FakeDevice device(log);
  device.caps.PrimitiveMiscCaps = c.colourWriteCap ? D3DPMISCCAPS_COLORWRITEENABLE : 0;
  UntexturedTest test(c.kind, Catalogue()[c.kind == UntexturedTest::Kind::kPureFillrate ? 0 : 1], {1024, 768});
  ASSERT_TRUE(test.Init(&device));
  EXPECT_EQ(log, c.expectedCalls);

  ASSERT_NE(device.lastVertexBuffer, nullptr);
  const std::vector<Vertex> vertices = VerticesOf(*device.lastVertexBuffer);
  ASSERT_EQ(vertices.size(), 4u);
  const float corners[4][2] = {{0, 0}, {1024, 0}, {0, 768}, {1024, 768}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(vertices[i].x, corners[i][0]) << i;
    EXPECT_EQ(vertices[i].y, corners[i][1]) << i;
    EXPECT_EQ(vertices[i].z, 0.0f) << i;
    EXPECT_EQ(vertices[i].rhw, 1.0f) << i;
    EXPECT_EQ(vertices[i].colour, c.colours[i]) << i;
  }

  log.clear();
  device.logFrames = true;
  EXPECT_TRUE(test.Render());
  EXPECT_EQ(log, CallLog(32, "DrawPrimitive(5,0,2)"));
  log.clear();
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log, (CallLog{"VertexBuffer.Release"}));
  EXPECT_TRUE(test.Destroy());  // nothing left to release
  EXPECT_EQ(log.size(), 1u);
}

const CallLog kBufferCalls{"CreateVertexBuffer(80,8,68,1)", "Lock(0,80,0)", "Unlock", "SetStreamSource(0,buffer,0,20)",
                           "SetFVF(68)"};

CallLog Calls(std::initializer_list<std::string> more) {
  CallLog calls = kBufferCalls;
  calls.insert(calls.end(), more);
  return calls;
}

INSTANTIATE_TEST_SUITE_P(
    TestsOneAndTwo, UntexturedTestInit,
    ::testing::Values(UntexturedCase{"PureFillrate",
                                     UntexturedTest::Kind::kPureFillrate,
                                     true,
                                     Calls({"SetRenderState(168,15)", "SetRenderState(14,0)", "SetRenderState(7,0)",
                                            "SetTextureStageState(0,2,0)", "SetTextureStageState(0,1,2)"}),
                                     {0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF}},
                      UntexturedCase{"ZPixelRate",
                                     UntexturedTest::Kind::kZPixelRate,
                                     true,
                                     Calls({"SetRenderState(168,0)", "SetRenderState(14,1)", "SetRenderState(7,1)",
                                            "SetTextureStageState(0,2,0)", "SetTextureStageState(0,1,2)"}),
                                     {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF}},
                      // Without the colour-write cap the mask is simply not set; colour is still written.
                      UntexturedCase{"ZPixelRateWithoutColourWriteCap",
                                     UntexturedTest::Kind::kZPixelRate,
                                     false,
                                     Calls({"SetRenderState(14,1)", "SetRenderState(7,1)",
                                            "SetTextureStageState(0,2,0)", "SetTextureStageState(0,1,2)"}),
                                     {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF}}),
    [](const ::testing::TestParamInfo<UntexturedCase>& test) { return std::string(test.param.label); });

TEST(UntexturedTestFailure, NoVertexBufferFailsInitAndDestroyIsStillSafe) {
  CallLog log;
  FakeDevice device(log);
  device.createVertexBufferFails = true;
  UntexturedTest test(UntexturedTest::Kind::kPureFillrate, Catalogue()[0], {640, 480});
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(log, (CallLog{"CreateVertexBuffer(80,8,68,1)"}));
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log.size(), 1u);
}

TEST(UntexturedTestFailure, BufferThatWillNotLockIsNotWrittenThrough) {
  CallLog log;
  FakeDevice device(log);
  device.lockFails = true;
  UntexturedTest test(UntexturedTest::Kind::kPureFillrate, Catalogue()[0], {640, 480});
  EXPECT_TRUE(test.Init(&device));
  EXPECT_EQ(CallLog(log.begin(), log.begin() + 3),
            (CallLog{"CreateVertexBuffer(80,8,68,1)", "Lock(0,80,0)", "SetStreamSource(0,buffer,0,20)"}));
  test.Destroy();
}

}  // namespace
}  // namespace rastro::testing
