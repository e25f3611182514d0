// The whole benchmark as a user runs it: the program itself, headless on the OpenGL renderer,
// all sixteen tests with short measurements and every test's frame captured. Results.txt is
// checked line by line and every picture is decoded and looked at.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "Catalogue.h"
#include "FrameCapture.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "%f" of a positive rate: digits, a point and six decimals, not all zero.
bool IsRate(const std::string& text) {
  const std::size_t point = text.find('.');
  if (point == std::string::npos || point == 0 || text.size() != point + 7) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != point && !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return text.find_first_not_of("0.") != std::string::npos;
}

struct Picture {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::vector<png_byte> rgb;
};

// Decoded with libpng's own reader into 8-bit RGB; empty when the file is no PNG.
Picture Decode(const std::filesystem::path& file) {
  Picture picture;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return picture;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return picture;
  }
  picture.width = image.width;
  picture.height = image.height;
  picture.rgb = std::move(rgb);
  return picture;
}

std::size_t DistinctColours(const Picture& picture) {
  std::unordered_set<std::uint32_t> colours;
  for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3) {
    colours.insert((std::uint32_t{picture.rgb[i]} << 16) | (std::uint32_t{picture.rgb[i + 1]} << 8) |
                   picture.rgb[i + 2]);
  }
  return colours.size();
}

TEST(EndToEnd, AWholeHeadlessRunMeasuresEveryTestAndCapturesWhatEachDrew) {
  ScratchDirectory scratch;
  ASSERT_FALSE(scratch.Path().empty());
  // The data folder is the one a program in its build tree finds by itself; debug output would
  // be lines on stderr that are no failure. The run records itself in a local store of its own.
  const std::string command = "cd '" + scratch.Path().string() +
                              "' && env -u RASTROMETER_DATA -u RASTROMETER_D3D_DEBUG XDG_DATA_HOME='" +
                              (scratch.Path() / "data-home").string() +
                              "' '" RASTROMETER_PROGRAM
                              "' --headless --mode 640x480 --backbuffer X8R8G8B8 --depth D24S8 --seconds 0.05"
                              " --capture frames >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  const std::string out = ReadFile(scratch.Path() / "out.txt");
  const std::string err = ReadFile(scratch.Path() / "err.txt");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << out << err;
  EXPECT_EQ(err, "");

  // The results file, line by line.
  const std::vector<std::string> results = Lines(ReadFile(scratch.Path() / "Results.txt"));
  const std::vector<CatalogueRow> catalogue(Catalogue().begin(), Catalogue().end());
  ASSERT_EQ(catalogue.size(), 16u);
  ASSERT_EQ(results.size(), 8 + catalogue.size()) << ReadFile(scratch.Path() / "Results.txt");
  const std::string rule(26, '-');
  EXPECT_EQ(results[0], "Rastrometer");
  EXPECT_EQ(results[1], rule);
  EXPECT_TRUE(results[2].starts_with("Display adapter: ") && results[2].size() > 17) << results[2];
  unsigned number[4] = {};
  int used = -1;
  std::sscanf(results[3].c_str(), "Driver version: %u.%u.%u.%u%n", &number[0], &number[1], &number[2], &number[3],
              &used);
  EXPECT_EQ(used, static_cast<int>(results[3].size())) << results[3];
  used = -1;
  std::sscanf(results[4].c_str(), "Display mode: 640x480 X8R8G8B8 %uHz%n", &number[0], &used);
  EXPECT_EQ(used, static_cast<int>(results[4].size())) << results[4];
  EXPECT_EQ(results[5], "Z-Buffer format: D24S8");
  EXPECT_EQ(results[6], rule);
  EXPECT_EQ(results[7], "");
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const std::string& line = results[8 + i];
    const std::string start = std::string(catalogue[i].name) + " - ";
    const std::string end = "M pixels/sec";
    ASSERT_TRUE(line.starts_with(start) && line.ends_with(end)) << line;
    EXPECT_TRUE(IsRate(line.substr(start.size(), line.size() - start.size() - end.size()))) << line;
  }
  EXPECT_TRUE(ReadFile(scratch.Path() / "Results.txt").ends_with("M pixels/sec\n"));
  EXPECT_FALSE(IsRate("0.000000"));
  EXPECT_FALSE(IsRate("12.34567"));

  // What the terminal-less run printed around the results.
  const std::vector<std::string> shown = Lines(out);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "Data files: " RASTRO_DATA_DIR " (source tree)");
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[shown.size() - 2], "Results written to " + (scratch.Path() / "Results.txt").string());
  EXPECT_EQ(shown.back(),
            "Run 1 recorded in SQLite store " + (scratch.Path() / "data-home" / "rastrometer" / "results.db").string());

  // One picture per test. Test 2 writes depth only, so its frame is the clear colour; every
  // other test's frame shows ramps or textures of thousands of colours.
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const std::filesystem::path file = scratch.Path() / "frames" / CaptureFileName(i + 1, catalogue[i].name);
    const Picture picture = Decode(file);
    ASSERT_EQ(picture.width, 640u) << file;
    ASSERT_EQ(picture.height, 480u) << file;
    if (i == 1) {
      EXPECT_EQ(DistinctColours(picture), 1u) << file;
      EXPECT_EQ(picture.rgb.front(), 0) << file;
      continue;
    }
    EXPECT_GE(DistinctColours(picture), 1000u) << file;
  }
}

}  // namespace
}  // namespace rastro::testing
