#include "MappedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ScratchDirectory.h"
#include "d3d9types.h"

namespace rastro {
namespace {

using testing::ScratchDirectory;

// Open descriptors of this process, to see that files are closed on every path.
int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

void ExpectClosed(const MappedFile& file) {
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.View(), nullptr);
  EXPECT_EQ(file.Size(), 0u);
}

TEST(MappedFile, StartsClosed) { ExpectClosed(MappedFile{}); }

TEST(MappedFile, NullNameIsAnInvalidCall) {
  MappedFile file;
  EXPECT_EQ(file.Open(static_cast<const char*>(nullptr)), D3DERR_INVALIDCALL);
  EXPECT_EQ(file.Open(static_cast<const wchar_t*>(nullptr)), D3DERR_INVALIDCALL);
  ExpectClosed(file);
}

TEST(MappedFile, MapsTheWholeFile) {
  ScratchDirectory dir;
  const std::string contents = std::string("DDS \x7C\0\0\0", 8) + std::string(5000, 'x');
  auto path = dir.Write("image.dds", contents);
  MappedFile file;
  ASSERT_EQ(file.Open(path.c_str()), S_OK);
  EXPECT_TRUE(file.IsOpen());
  ASSERT_EQ(file.Size(), contents.size());
  ASSERT_NE(file.View(), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.View()), file.Size()), contents);
}

TEST(MappedFile, EmptyFileOpensWithoutAView) {
  ScratchDirectory dir;
  auto path = dir.Write("empty.bmp", "");
  MappedFile file;
  ASSERT_EQ(file.Open(path.c_str()), S_OK);
  EXPECT_EQ(file.View(), nullptr);
  EXPECT_EQ(file.Size(), 0u);
}

// Every failure other than a null name is reported as bad data, never as a system error code,
// and leaves nothing open.
TEST(MappedFile, EveryOtherFailureIsInvalidDataAndClosesTheFile) {
  ScratchDirectory dir;
  const int before = OpenDescriptorCount();
  MappedFile file;
  EXPECT_EQ(file.Open((dir.Path() / "missing.jpg").c_str()), D3DXERR_INVALIDDATA);
  ExpectClosed(file);
  EXPECT_EQ(file.Open(dir.Path().c_str()), D3DXERR_INVALIDDATA);  // a directory
  ExpectClosed(file);
  EXPECT_EQ(file.Open(""), D3DXERR_INVALIDDATA);
  ExpectClosed(file);
  if (geteuid() != 0) {  // permissions do not stop root
    auto locked = dir.Write("locked.png", "data");
    chmod(locked.c_str(), 0);
    EXPECT_EQ(file.Open(locked.c_str()), D3DXERR_INVALIDDATA);
    ExpectClosed(file);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(MappedFile, OpeningAgainReleasesTheEarlierFile) {
  ScratchDirectory dir;
  auto first = dir.Write("a.tga", "first");
  auto second = dir.Write("b.tga", "second!");
  const int before = OpenDescriptorCount();
  MappedFile file;
  ASSERT_EQ(file.Open(first.c_str()), S_OK);
  ASSERT_EQ(file.Open(second.c_str()), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.View()), file.Size()), "second!");
  EXPECT_EQ(OpenDescriptorCount(), before + 1);
  // A failing open after a good one leaves the object closed, not holding the old file.
  EXPECT_EQ(file.Open((dir.Path() / "none").c_str()), D3DXERR_INVALIDDATA);
  ExpectClosed(file);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(MappedFile, CloseAndDestructionReleaseTheFile) {
  ScratchDirectory dir;
  auto path = dir.Write("c.ppm", "P6 1 1 255 abc");
  const int before = OpenDescriptorCount();
  {
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    file.Close();
    ExpectClosed(file);
    file.Close();  // closing twice is harmless
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(MappedFile, WideNamesAreOpenedThroughUtf8) {
  ScratchDirectory dir;
  dir.Write("t\xC3\xA9xture\xE2\x82\xAC.jpg", "wide");  // "téxture€.jpg"
  const std::wstring name = (dir.Path().wstring() + L"/t\u00E9xture\u20AC.jpg");
  MappedFile file;
  ASSERT_EQ(file.Open(name.c_str()), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.View()), file.Size()), "wide");
}

TEST(MappedFile, WideNamesThatAreNotTextAreInvalidData) {
  MappedFile file;
  const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  const wchar_t beyondUnicode[] = {static_cast<wchar_t>(0x110000), 0};
  EXPECT_EQ(file.Open(surrogate), D3DXERR_INVALIDDATA);
  EXPECT_EQ(file.Open(beyondUnicode), D3DXERR_INVALIDDATA);
  ExpectClosed(file);
}

}  // namespace
}  // namespace rastro
