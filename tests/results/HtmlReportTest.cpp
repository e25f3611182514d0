#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>

#include "HtmlReport.h"
#include "RecordSamples.h"
#include "ResultsText.h"
#include "ScratchDirectory.h"
#include "Statistics.h"

namespace rastro::testing {
namespace {

// Debian's chromium, headless and cut off from the network, with a profile of its own.
class Chromium {
 public:
  Chromium() {
    if (std::system("command -v chromium > /dev/null 2>&1") != 0) {
      ADD_FAILURE() << "the report check needs Debian's chromium (scripts/install-deps.sh installs it)";
      return;
    }
    available_ = true;
  }
  bool Available() const { return available_; }

  // Runs chromium on `page` with `what` (--dump-dom, --screenshot=...); returns its output.
  std::string Run(const std::filesystem::path& page, const std::string& what) const {
    const std::filesystem::path output = scratch_.Path() / "chromium.out";
    const std::string command =
        "timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync --hide-scrollbars "
        "--user-data-dir='" +
        (scratch_.Path() / "profile").string() + "' " + what + " 'file://" + page.string() + "' > '" + output.string() +
        "' 2> /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(output);
  }

 private:
  ScratchDirectory scratch_;
  bool available_ = false;
};

struct Image {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::vector<png_byte> rgba;
};

Image ReadPng(const std::filesystem::path& path) {
  Image image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  png.format = PNG_FORMAT_RGBA;
  image.rgba.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) return {};
  image.width = png.width;
  image.height = png.height;
  return image;
}

std::size_t PixelsNear(const Image& image, int r, int g, int b) {
  std::size_t count = 0;
  for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
    if (std::abs(image.rgba[i] - r) <= 8 && std::abs(image.rgba[i + 1] - g) <= 8 &&
        std::abs(image.rgba[i + 2] - b) <= 8) {
      ++count;
    }
  }
  return count;
}

// Text as a browser writes it back out of its DOM: only &, < and > escaped.
std::string TextAsSerialised(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c == '&'   ? std::string("&amp;")
           : c == '<' ? std::string("&lt;")
           : c == '>' ? std::string("&gt;")
                      : std::string(1, c);
  }
  return out;
}

TEST(HtmlReportTest, ChromiumShowsEveryTestAndMedianAndDrawsEachRunsBars) {
  Chromium chromium;
  ASSERT_TRUE(chromium.Available());
  RunRecord base = SampleRun(NewUuid(), "2024-05-01T10:00:00Z");
  base.id = 1;
  base.tests = {MeasuredTest("FFP - Pure fillrate", {1000, 1010, 990, 1005, 995, 1002}),
                MeasuredTest("PS 1.1 - <Simple> & \"quoted\"", {400, 410, 405}),
                MeasuredTest("PS 2.0 - Per Pixel Lighting", {120.25})};
  RunRecord other = base;
  other.id = 2;
  other.uuid = NewUuid();
  other.tests[0].passRates = {1200, 1210, 1190, 1205, 1195, 1202};
  other.tests[1].passRates = {300, 310, 305};
  other.tests[2] = {"PS 2.0 - Per Pixel Lighting", 8, TestStatus::kFailed, "no ps_2_0", {}, {}};

  ScratchDirectory scratch;
  const std::filesystem::path page = scratch.Write("report.html", HtmlReport({base, other}));
  const std::string html = ReadFile(page);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http://"), std::string::npos);  // nothing to fetch
  EXPECT_EQ(html.find("https://"), std::string::npos);

  const std::string dom = chromium.Run(page, "--dump-dom");
  ASSERT_NE(dom.find("<svg"), std::string::npos) << dom.substr(0, 500);
  for (const RunRecord& run : {base, other}) {
    for (const TestRecord& test : run.tests) {
      EXPECT_NE(dom.find(TextAsSerialised(test.name)), std::string::npos) << test.name;
      if (test.passRates.empty()) continue;
      EXPECT_NE(dom.find(">" + FormatNumber(Median(test.passRates)) + "<"), std::string::npos)
          << test.name << " " << Median(test.passRates);
    }
  }
  // By hand: medians (1000 + 1002) / 2 and (1200 + 1202) / 2, ratio 1201 / 1001 = 1.1998.
  EXPECT_NE(dom.find(">1001.0<"), std::string::npos);
  EXPECT_NE(dom.find(">1201.0<"), std::string::npos);
  EXPECT_NE(dom.find(">1.200<"), std::string::npos);
  EXPECT_NE(dom.find(">faster<"), std::string::npos);
  EXPECT_NE(dom.find("no ps_2_0"), std::string::npos);

  // On a phone-sized screen: the chart is drawn, with bars in both runs' colours.
  const std::filesystem::path shot = scratch.Path() / "phone.png";
  chromium.Run(page, "--window-size=412,1400 --screenshot='" + shot.string() + "'");
  const Image image = ReadPng(shot);
  ASSERT_EQ(image.width, 412u) << "no screenshot";
  EXPECT_GT(PixelsNear(image, 0x00, 0x72, 0xB2), 1500u);  // the first run's bars
  EXPECT_GT(PixelsNear(image, 0xE6, 0x9F, 0x00), 1500u);  // the second run's
}

TEST(HtmlReportTest, SingleRunReportListsEveryPass) {
  RunRecord run = SampleRun();
  run.id = 5;
  run.tests[0].passRates = {10.25, 20.5, 30.75};
  const std::string html = HtmlReport({run});
  for (const char* pass : {"<th>pass 1</th>", "<th>pass 2</th>", "<th>pass 3</th>", ">10.2<", ">20.5<", ">30.8<"}) {
    EXPECT_NE(html.find(pass), std::string::npos) << pass;
  }
  EXPECT_NE(html.find("&quot;ps.1.4&quot; unknown, &#39;quoted&#39; &amp; &lt;marked&gt;"), std::string::npos);
}

}  // namespace
}  // namespace rastro::testing
