// End-to-end runs of the rastro-tex program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DecodeTestSupport.h"

namespace rastro::testing {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RastroTexTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rastro-tex-" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "folder");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::vector<BYTE>& bytes) {
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  ToolRun Execute(const std::string& arguments) {
    std::string command = "cd '" + dir_.string() + "' && '" RASTRO_TEX_PATH "' " + arguments + " >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(dir_ / "out.txt"), ReadText(dir_ / "err.txt")};
  }

  fs::path dir_;
};

std::vector<BYTE> Ppm() { return FileBuilder().Text("P6 3 2 255\n").Fill(18, 7).Get(); }

// A DXT1 cube map of 8 x 8 faces with two levels each.
std::vector<BYTE> CubeDds() {
  FileBuilder file;
  file.Text("DDS ").U32(124).U32(0x21007).U32(8).U32(8).U32(0).U32(0).U32(2).Fill(44, 0);
  file.U32(32).U32(4).Text("DXT1").Fill(20, 0).U32(0x401008).U32(0xFE00).Fill(12, 0);
  return file.Fill(6 * (32 + 8), 0).Get();
}

// An RLE8 bitmap whose header is sound but whose run-length data stops short.
std::vector<BYTE> BrokenRleBmp() {
  FileBuilder dib;
  dib.U32(40).I32(4).I32(2).U16(1).U16(8).U32(1).U32(0).U32(0).U32(0).U32(1).U32(0).U32(0).Bytes({4, 1});
  FileBuilder file;
  file.Text("BM").U32(static_cast<DWORD>(14 + dib.Size())).U32(0).U32(14 + 44).Append(dib.Get());
  return file.Get();
}

TEST_F(RastroTexTool, PrintsOneLinePerFile) {
  Write("a.ppm", Ppm());
  Write("cube.dds", CubeDds());
  ToolRun run = Execute("info a.ppm cube.dds");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "a.ppm: PPM, 3 x 2, depth 1, 1 mip level, texture, D3DFMT_X8R8G8B8\n"
            "cube.dds: DDS, 8 x 8, depth 1, 2 mip levels, cube texture, D3DFMT_DXT1\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(RastroTexTool, PixelsOptionDecodesAndReportsTheDecodedFormat) {
  Write("a.ppm", Ppm());
  Write("broken.bmp", BrokenRleBmp());
  ToolRun run = Execute("info --pixels a.ppm broken.bmp");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "a.ppm: PPM, 3 x 2, depth 1, 1 mip level, texture, D3DFMT_X8R8G8B8, pixels decoded as "
            "D3DFMT_X8R8G8B8, row pitch 12\n"
            "broken.bmp: BMP, 4 x 2, depth 1, 1 mip level, texture, D3DFMT_P8, pixels NOT decoded\n");
  EXPECT_EQ(run.err,
            "rastro-tex: broken.bmp: a BMP file the loader cannot read: the run-length data ends before the image "
            "does\n");
  // Without --pixels the header alone is fine.
  EXPECT_EQ(Execute("info broken.bmp").status, 0);
}

TEST_F(RastroTexTool, UnreadableFilesAreNamedWithTheReason) {
  Write("a.ppm", Ppm());
  Write("text.txt", {'h', 'e', 'l', 'l', 'o'});
  Write("empty.dds", {});
  ToolRun run = Execute("info missing.png text.txt a.ppm folder empty.dds");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "a.ppm: PPM, 3 x 2, depth 1, 1 mip level, texture, D3DFMT_X8R8G8B8\n");
  EXPECT_EQ(run.err,
            "rastro-tex: missing.png: No such file or directory\n"
            "rastro-tex: text.txt: not an image the loader reads (BMP, DIB, TGA, PPM, PFM, DDS, JPEG, PNG or "
            "Radiance RGBE)\n"
            "rastro-tex: folder: Is a directory\n"
            "rastro-tex: empty.dds: empty file\n");
}

TEST_F(RastroTexTool, BadUsageExitsWithTwo) {
  for (const char* arguments : {"", "info", "info --pixels", "info --bogus a.ppm", "frobnicate a.ppm", "inf a.ppm"}) {
    ToolRun run = Execute(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.err.find("rastro-tex info FILE... [--pixels]"), std::string::npos) << arguments;
    EXPECT_EQ(run.out, "") << arguments;
  }
}

}  // namespace
}  // namespace rastro::testing
