// End-to-end runs of `rastro-tex convert`: the DDS files it writes are read back by ImageMagick
// and compared with ImageMagick's own reading of the source image.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "DxtBlock.h"
#include "ImageFiles.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

namespace fs = std::filesystem;

// The pixels ImageMagick reads from the first image of a file, as 8-bit RGBA.
std::vector<unsigned char> ImageMagickPixels(const fs::path& file) {
  std::vector<unsigned char> pixels;
  const std::string command = "/usr/bin/convert '" + file.string() + "[0]' -depth 8 rgba:- 2>/dev/null";
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    unsigned char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) pixels.insert(pixels.end(), buffer, buffer + got);
    pclose(pipe);
  }
  return pixels;
}

std::uint32_t Field(const std::string& file, std::size_t offset) {
  std::uint32_t value = 0;
  if (file.size() >= offset + 4) std::memcpy(&value, file.data() + offset, 4);
  return value;
}

class RastroTexConvert : public ::testing::Test {
 protected:
  struct Run {
    int status;
    std::string err;
  };
  // Runs `rastro-tex convert ARGUMENTS` in the directory, after `shell` (commands for the
  // shell that runs it, such as a limit).
  Run Convert(const std::string& arguments, const std::string& shell = "") {
    return Tool("convert " + arguments, shell);
  }
  Run Tool(const std::string& arguments, const std::string& shell = "") {
    const fs::path err = directory_.Path() / "err.txt";
    const std::string command = "cd '" + directory_.Path().string() + "' && " + shell + " '" RASTRO_TEX_PATH "' " +
                                arguments + " 2>'" + err.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    Run run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(err)};
    fs::remove(err);
    return run;
  }
  fs::path Write(const std::string& name, const std::string& bytes) { return directory_.Write(name, bytes); }
  fs::path Path(const std::string& name) const { return directory_.Path() / name; }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_.Path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchDirectory directory_;
};

// Largest and mean per-channel difference over the colour channels of two RGBA readings.
struct Difference {
  int largest = 0;
  double mean = 0;
};
Difference Compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int channel) {
  Difference d;
  const std::size_t pixels = std::min(a.size(), b.size()) / 4;
  for (std::size_t i = 0; i < pixels; ++i) {
    const int delta = std::abs(int(a[i * 4 + channel]) - int(b[i * 4 + channel]));
    d.largest = std::max(d.largest, delta);
    d.mean += delta;
  }
  if (pixels) d.mean /= static_cast<double>(pixels);
  return d;
}

TEST_F(RastroTexConvert, JpegBecomesAnX8R8G8B8ChainThatReadsBackAsTheImage) {
  const fs::path source = Write("photo.jpg", Jpeg(64, 32));
  const Run run = Convert("photo.jpg photo.dds");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string dds = ReadFile(Path("photo.dds"));
  EXPECT_EQ(Field(dds, 12), 32u);        // height
  EXPECT_EQ(Field(dds, 16), 64u);        // width
  EXPECT_EQ(Field(dds, 28), 7u);         // 64x32 down to 1x1
  EXPECT_EQ(Field(dds, 92), 0xFF0000u);  // red mask of X8R8G8B8
  // 64x32, 32x16, ..., 1x1 pixels of 4 bytes: (2048 + 512 + 128 + 32 + 8 + 2 + 1) x 4.
  EXPECT_EQ(dds.size(), 128u + 2731 * 4);
  const auto expected = ImageMagickPixels(source);
  const auto converted = ImageMagickPixels(Path("photo.dds"));
  ASSERT_EQ(expected.size(), 64u * 32 * 4);
  ASSERT_EQ(converted.size(), expected.size());
  // Both sides decode the JPEG with libjpeg's integer transform.
  for (int channel = 0; channel < 3; ++channel) EXPECT_LE(Compare(expected, converted, channel).largest, 1) << channel;
}

TEST_F(RastroTexConvert, SixteenBitFormatKeepsTheImageWithinItsPrecision) {
  std::vector<Rgb> pixels;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 40; ++x)
      pixels.push_back({std::uint8_t(x * 6), std::uint8_t(y * 10), std::uint8_t(255 - x * 3)});
  }
  const fs::path source = Write("ramp.bmp", Bitmap(40, 24, 24, pixels));
  const Run run = Convert("ramp.bmp ramp.dds --format R5G6B5 --size image --mips 1 --filter point");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string dds = ReadFile(Path("ramp.dds"));
  EXPECT_EQ(Field(dds, 28), 1u);
  EXPECT_EQ(Field(dds, 88), 16u);
  EXPECT_EQ(dds.size(), 128u + 40 * 24 * 2);
  const auto expected = ImageMagickPixels(source);
  const auto converted = ImageMagickPixels(Path("ramp.dds"));
  ASSERT_EQ(converted.size(), 40u * 24 * 4);
  // Rounded to 5 bits (steps of 8.2) and 6 bits (4.05): at most half a step off, plus one for
  // the two sides widening the fields back to 8 bits in their own ways.
  EXPECT_LE(Compare(expected, converted, 0).largest, 5);
  EXPECT_LE(Compare(expected, converted, 1).largest, 3);
  EXPECT_LE(Compare(expected, converted, 2).largest, 5);
}

TEST_F(RastroTexConvert, BlockCompressionStaysCloseToTheImage) {
  const fs::path source = Write("photo.jpg", Jpeg(64, 64));
  const Run run = Convert("photo.jpg photo.dds --format DXT1");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string dds = ReadFile(Path("photo.dds"));
  EXPECT_EQ(Field(dds, 84), 0x31545844u);  // "DXT1"
  // Blocks of 8 bytes: 256 + 64 + 16 + 4 + 1 + 1 + 1 of them for 64x64 down to 1x1.
  EXPECT_EQ(dds.size(), 128u + 343 * 8);
  const auto expected = ImageMagickPixels(source);
  const auto converted = ImageMagickPixels(Path("photo.dds"));
  ASSERT_EQ(converted.size(), expected.size());
  // A smooth ramp: each 4x4 block's colours lie on a line, so only the 5-6-5 end points and
  // the two interpolated steps cost precision.
  for (int channel = 0; channel < 3; ++channel) EXPECT_LT(Compare(expected, converted, channel).mean, 6.0) << channel;
}

TEST_F(RastroTexConvert, ColourKeyAndKindOptions) {
  Write("rgb.bmp", Bitmap(2, 2, 24, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}));
  ASSERT_EQ(Convert("rgb.bmp keyed.dds --colorkey 0xFF00FF00 --filter none").status, 0);
  const auto keyed = ImageMagickPixels(Path("keyed.dds"));
  ASSERT_EQ(keyed.size(), 16u);
  EXPECT_EQ(std::vector<unsigned char>(keyed.begin() + 4, keyed.begin() + 8), (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(keyed[3], 255);

  ASSERT_EQ(Convert("rgb.bmp volume.dds --volume").status, 0);
  EXPECT_EQ(Field(ReadFile(Path("volume.dds")), 112), 0x200000u);
  const Run cube = Convert("rgb.bmp cube.dds --cube");
  EXPECT_EQ(cube.status, 1);
  EXPECT_NE(cube.err.find("six faces"), std::string::npos) << cube.err;
  EXPECT_FALSE(fs::exists(Path("cube.dds")));
}

TEST_F(RastroTexConvert, FailuresLeaveNoFileBehindAndKeepAnOldOne) {
  Write("garbage.jpg", "no image here");
  Write("empty.jpg", "");
  Write("good.bmp", Bitmap(1, 1, 24, {{1, 2, 3}}));
  Write("old.dds", "old contents");
  struct {
    const char* arguments;
    int status;
    const char* message;
  } const cases[] = {
      {"missing.jpg old.dds", 1, "missing.jpg: No such file or directory"},
      {"garbage.jpg old.dds", 1, "garbage.jpg: not an image the loader reads"},
      {"empty.jpg old.dds", 1, "empty.jpg: empty file"},
      {"good.bmp nowhere/out.dds", 1, "nowhere/out.dds"},
      {"good.bmp old.dds --format D3DFMT_D24S8", 2, "unknown format"},
      {"good.bmp old.dds --size 0x4", 2, "--size"},
      {"good.bmp old.dds --mips 33", 2, "--mips"},
      {"good.bmp old.dds --filter box+sideways", 2, "unknown filter"},
      {"good.bmp old.dds --colorkey green", 2, "--colorkey"},
      {"good.bmp old.dds --cube --volume", 2, "exclude"},
      {"good.bmp old.dds --mips", 2, "needs a value"},
      {"good.bmp", 2, "input image file and an output"},
      {"good.bmp old.dds --sideways", 2, "unknown option"},
  };
  for (const auto& c : cases) {
    const Run run = Convert(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    EXPECT_EQ(ReadFile(Path("old.dds")), "old contents") << c.arguments;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"empty.jpg", "garbage.jpg", "good.bmp", "old.dds"}));
  // A successful conversion replaces the old file whole.
  ASSERT_EQ(Convert("good.bmp old.dds").status, 0);
  EXPECT_EQ(ReadFile(Path("old.dds")).size(), 128u + 4);
  EXPECT_EQ(Files(), (std::vector<std::string>{"empty.jpg", "garbage.jpg", "good.bmp", "old.dds"}));
}

TEST_F(RastroTexConvert, ManyFilesIntoADirectoryGiveWhatOneByOneConversionsGive) {
  std::vector<Rgb> pixels;
  for (int i = 0; i < 48 * 40; ++i) pixels.push_back({std::uint8_t(i * 7), std::uint8_t(i / 3), std::uint8_t(i % 251)});
  Write("a.bmp", Bitmap(48, 40, 24, pixels));
  Write("b.jpg", Jpeg(64, 32));
  Write("bad.jpg", "no image here");
  fs::create_directory(Path("out"));
  const Run batch = Convert("a.bmp bad.jpg b.jpg --out-dir out -j 2 --format DXT5");
  EXPECT_EQ(batch.status, 1);
  EXPECT_NE(batch.err.find("bad.jpg: not an image the loader reads"), std::string::npos) << batch.err;
  ASSERT_EQ(Convert("a.bmp a.dds --format DXT5").status, 0);
  ASSERT_EQ(Convert("b.jpg b.dds --format DXT5").status, 0);
  EXPECT_EQ(ReadFile(Path("out/a.dds")), ReadFile(Path("a.dds")));
  EXPECT_EQ(ReadFile(Path("out/b.dds")), ReadFile(Path("b.dds")));
  EXPECT_FALSE(fs::exists(Path("out/bad.dds")));

  const Run clash = Convert("a.bmp out/a.dds --out-dir out");
  EXPECT_EQ(clash.status, 2);
  EXPECT_NE(clash.err.find("both be written to out/a.dds"), std::string::npos) << clash.err;
  for (const char* wrong : {"a.bmp --out-dir out -j 0", "--out-dir out", "a.bmp a.dds --mip-source above"}) {
    EXPECT_EQ(Convert(wrong).status, 2) << wrong;
  }
}

// Mips of a block-compressed texture from the image are one compression away from the box
// average of the image; from the compressed level above they carry every level's error.
TEST_F(RastroTexConvert, BlockCompressedMipsFromTheImageStayCloserToItsAverage) {
  constexpr int kSize = 64;
  std::vector<Rgb> pixels;
  std::uint32_t noise = 1;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int speckle = static_cast<int>(noise >> 26);
      pixels.push_back({std::uint8_t(std::min(255, x * 3 + speckle)),
                        std::uint8_t(((x / 5 + y / 3) % 2) * 180 + speckle),
                        std::uint8_t(std::min(255, y * 4 + speckle))});
    }
  }
  Write("noisy.bmp", Bitmap(kSize, kSize, 24, pixels));
  ASSERT_EQ(Convert("noisy.bmp image.dds --format DXT1 --mip-source image").status, 0);
  ASSERT_EQ(Convert("noisy.bmp level.dds --format DXT1 --mip-source level").status, 0);
  ASSERT_EQ(Convert("noisy.bmp default.dds --format DXT1").status, 0);
  const std::string image = ReadFile(Path("image.dds")), level = ReadFile(Path("level.dds"));
  EXPECT_EQ(ReadFile(Path("default.dds")), image);
  ASSERT_EQ(image.size(), level.size());
  // The top level is compressed from the image either way.
  EXPECT_EQ(image.substr(0, 128 + 2048), level.substr(0, 128 + 2048));

  // Squared error of level 3 (8 x 8, from 8 x 8 boxes of the image) against the boxes' means.
  auto error = [&](const std::string& dds) {
    const std::size_t offset = 128 + 2048 + 512 + 128;
    double sum = 0;
    for (int block = 0; block < 4; ++block) {
      BlockPixels decoded;
      DecodeDxt1Block(decoded, reinterpret_cast<const std::uint8_t*>(dds.data() + offset + 8 * block));
      for (int i = 0; i < 16; ++i) {
        const int x = (block % 2) * 4 + i % 4, y = (block / 2) * 4 + i / 4;
        double mean[3] = {0, 0, 0};
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u) {
            const Rgb& p = pixels[(y * 8 + v) * kSize + x * 8 + u];
            mean[0] += p.r / 64.0;
            mean[1] += p.g / 64.0;
            mean[2] += p.b / 64.0;
          }
        for (int c = 0; c < 3; ++c) sum += std::pow(decoded.rgba[i][c] * 255.0 - mean[c], 2);
      }
    }
    return sum / (64 * 3);
  };
  const double fromImage = error(image), fromLevel = error(level);
  EXPECT_LT(fromImage, fromLevel * 0.9) << fromImage << " against " << fromLevel;
}

// A conversion stopped by a signal while it writes leaves nothing behind: the old output is
// kept and no temporary remains. The signal is sent as soon as the program has a file open in
// the directory other than its input, which is while it writes the output.
TEST_F(RastroTexConvert, StoppedWhileWritingLeavesTheOldFileAndNoTemporary) {
  std::vector<Rgb> pixels(1024 * 1024, Rgb{10, 20, 30});
  Write("big.bmp", Bitmap(1024, 1024, 24, pixels));
  const std::string dir = directory_.Path().string();
  // Four floats a pixel: a file of 16 MiB, which takes a while to write.
  const std::size_t newSize = 128 + 1024 * 1024 * 16;
  bool stoppedWhileWriting = false;
  for (int attempt = 0; attempt < 6 && !stoppedWhileWriting; ++attempt) {
    const int signal = attempt % 2 ? SIGINT : SIGTERM;
    Write("old.dds", "old contents");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int ending : {SIGINT, SIGTERM}) std::signal(ending, SIG_DFL);
      if (chdir(dir.c_str()) != 0) _exit(127);
      execl(RASTRO_TEX_PATH, "rastro-tex", "convert", "big.bmp", "old.dds", "--mips", "1", "--filter", "none",
            "--format", "A32B32G32R32F", static_cast<char*>(nullptr));
      _exit(127);
    }
    bool sent = false;
    int status = 0;
    const std::string fds = "/proc/" + std::to_string(child) + "/fd";
    while (!sent && waitpid(child, &status, WNOHANG) == 0) {
      DIR* open = opendir(fds.c_str());
      while (open && !sent) {
        const dirent* entry = readdir(open);
        if (!entry) break;
        char target[PATH_MAX];
        const ssize_t length = readlinkat(dirfd(open), entry->d_name, target, sizeof target - 1);
        if (length <= 0) continue;
        const std::string_view name(target, static_cast<std::size_t>(length));
        if (name.starts_with(dir + "/") && name != dir + "/big.bmp") {
          kill(child, signal);
          sent = true;
        }
      }
      if (open) closedir(open);
    }
    if (sent) {
      ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"big.bmp", "old.dds"})) << attempt;
    // The old file, or the whole new one when the signal came once it was complete.
    const std::size_t size = ReadFile(Path("old.dds")).size();
    EXPECT_TRUE(size == 12 || size == newSize) << attempt << ": " << size;
    EXPECT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == signal) << attempt;
    stoppedWhileWriting = WIFSIGNALED(status) && size == 12;
  }
  EXPECT_TRUE(stoppedWhileWriting);
}

// Past a file-size limit the conversion fails with a message rather than being killed, and
// leaves nothing behind.
TEST_F(RastroTexConvert, FileSizeLimitFailsCleanly) {
  Write("ramp.jpg", Jpeg(128, 128));
  Write("old.dds", "old contents");
  // 64 blocks of 512 bytes; the DDS file of a 128 x 128 X8R8G8B8 chain takes 87 492.
  const Run run = Convert("ramp.jpg old.dds", "ulimit -f 64 &&");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "rastro-tex convert: old.dds: File too large\n");
  EXPECT_EQ(ReadFile(Path("old.dds")), "old contents");
  EXPECT_EQ(Files(), (std::vector<std::string>{"old.dds", "ramp.jpg"}));
}

// Each failure to use an input file reads the same from `info` and from `convert`.
TEST_F(RastroTexConvert, InfoAndConvertWordTheSameFailureAlike) {
  Write("empty.bmp", "");
  Write("garbage.bmp", "not an image at all");
  std::string truncated = Bitmap(4, 4, 24, std::vector<Rgb>(16, Rgb{1, 2, 3}));
  truncated.resize(truncated.size() - 8);
  Write("short.bmp", truncated);
  // The 1 080-byte RLE8 bitmap claiming 30000 x 30000 pixels: its header, palette and end code.
  std::string bomb = "BM";
  Append32(bomb, 1080);
  Append32(bomb, 0);
  Append32(bomb, 14 + 40 + 1024);
  for (std::uint32_t field : {40u, 30000u, 30000u}) Append32(bomb, field);
  Append16(bomb, 1);
  Append16(bomb, 8);
  for (std::uint32_t field : {1u, 0u, 0u, 0u, 0u, 0u}) Append32(bomb, field);
  bomb += std::string(1024, '\0') + std::string("\0\1", 2);
  Write("bomb.bmp", bomb);
  ::mkdir(Path("folder").c_str(), 0755);
  const struct {
    const char* file;
    const char* reason;
  } cases[] = {
      {"missing.bmp", "No such file or directory"},
      {"folder", "Is a directory"},
      {"empty.bmp", "empty file"},
      {"garbage.bmp", "not an image the loader reads (BMP, DIB, TGA, PPM, PFM, DDS, JPEG, PNG or Radiance RGBE)"},
      {"short.bmp",
       "a BMP file the loader cannot read: the header gives a file size of 102 bytes, more than the 94 "
       "there are"},
      {"bomb.bmp",
       "too large to load: 30000 x 30000 pixels need 3434 MiB, more than the 1024 MiB one image may take "
       "(RASTROMETER_MAX_IMAGE_MB)"},
  };
  for (const auto& c : cases) {
    const std::string reason = std::string(c.file) + ": " + c.reason + "\n";
    const Run info = Tool(std::string("info --pixels ") + c.file);
    EXPECT_EQ(info.status, 1) << c.file;
    EXPECT_EQ(info.err, "rastro-tex: " + reason);
    const Run convert = Convert(std::string(c.file) + " out.dds");
    EXPECT_EQ(convert.status, 1) << c.file;
    EXPECT_EQ(convert.err, "rastro-tex convert: " + reason);
  }
  EXPECT_FALSE(fs::exists(Path("out.dds")));
}

TEST_F(RastroTexConvert, PaletteFormatForAnImageWithoutOneSaysWhatItWrote) {
  Write("rgb.bmp", Bitmap(2, 2, 24, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}));
  const Run run = Convert("rgb.bmp rgb.dds --format P8");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "rastro-tex convert: rgb.dds: wrote X8R8G8B8, not P8: the image has no palette\n");
  const std::string dds = ReadFile(Path("rgb.dds"));
  EXPECT_EQ(Field(dds, 88), 32u);        // bits a pixel
  EXPECT_EQ(Field(dds, 92), 0xFF0000u);  // red mask of X8R8G8B8

  // An image with a palette is written as P8, without a word.
  Write("indexed.bmp", Bitmap(2, 1, 8, {}, {0, 1}, {{200, 10, 10}, {10, 200, 10}}));
  const Run indexed = Convert("indexed.bmp indexed.dds --format P8");
  EXPECT_EQ(indexed.status, 0);
  EXPECT_EQ(indexed.err, "");
  EXPECT_EQ(Field(ReadFile(Path("indexed.dds")), 80), 0x20u);  // DDPF_PALETTEINDEXED8
}

}  // namespace
}  // namespace rastro::testing
