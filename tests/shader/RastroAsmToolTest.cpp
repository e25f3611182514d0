// End-to-end runs of the rastro-asm program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using DWORDValue = std::uint32_t;
using rastro::testing::ReadFile;
using rastro::testing::ScratchDirectory;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class RastroAsmTool : public testing::Test {
 protected:
  void Write(const std::string& name, const std::string& text) { scratch_.Write(name, text); }

  ToolRun Execute(const std::string& arguments) {
    std::string command = "cd '" + dir_.string() + "' && '" RASTRO_ASM_PATH "' " + arguments + " >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ / "out.txt"), ReadFile(dir_ / "err.txt")};
  }

  ScratchDirectory scratch_;
  const fs::path& dir_ = scratch_.Path();
};

TEST_F(RastroAsmTool, PrintsTokensOneLinePerLineEnd) {
  Write("a.psh", "ps.1.1 ; version\n\n  mov r0,   c0 // move\ntex t0\n#define X r5\nadd X, X, -c1");
  ToolRun run = Execute("-E a.psh");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "ps.1.1\nmov r0 , c0\ntex t0\n\nadd r5 , r5 , - c1\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(RastroAsmTool, DefinesAndIncludeDirectories) {
  Write("inc/common.h", "#define WHO world\n");
  Write("b.psh", "#include \"common.h\"\nVALUE WHO FLAG\n#ifdef FLAG\nflag\n#endif\n");
  ToolRun run = Execute("-E b.psh -D VALUE=1.5 -DFLAG -I inc");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\n\n\n1.5 world\n\nflag\n\n");
}

TEST_F(RastroAsmTool, ErrorsGoToStderrWithExitStatusOne) {
  Write("c.psh", "ok\n#endif\n\"open\n");
  ToolRun run = Execute("-E c.psh");
  EXPECT_EQ(run.status, 1);
  std::string full = fs::canonical(dir_ / "c.psh").string();
  EXPECT_EQ(run.err, full + "(2): error X1510: unexpected #endif\n" + full +
                         "(3): error X1005: string continues past end of line\n");
  EXPECT_EQ(run.out, "ok\n\n\"open\n");

  ToolRun missing = Execute("-E nothing.psh");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error X1507: failed to open source file: 'nothing.psh'\n");
}

TEST_F(RastroAsmTool, LongTokensAndLargeOutputArriveWhole) {
  // A token longer than the tool's output block, and far more output than one block.
  std::string longName(70000, 'n');
  std::string source = "a " + longName + " b\n", expected = source;
  for (int i = 0; i < 20000; ++i) {
    source += "mov r" + std::to_string(i) + ",c0 ; comment\n";
    expected += "mov r" + std::to_string(i) + " , c0\n";
  }
  Write("big.psh", source);
  ToolRun run = Execute("-E big.psh");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.out == expected) << "output of " << run.out.size() << " bytes differs";
}

std::vector<DWORDValue> Words(const std::string& bytes) {
  std::vector<DWORDValue> words(bytes.size() / 4);
  std::memcpy(words.data(), bytes.data(), words.size() * 4);
  return words;
}

TEST_F(RastroAsmTool, AssemblesToTheSourceNameWithBin) {
  Write("a.psh", "ps.1.1\nmov r0, v0\n");
  ToolRun run = Execute("a.psh");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Words(ReadFile(dir_ / "a.bin")),
            (std::vector<DWORDValue>{0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x0000FFFF}));

  Write("noext", "vs_1_1\ndcl_position v0\nmov oPos, v0\n");
  EXPECT_EQ(Execute("noext").status, 0);
  EXPECT_EQ(Words(ReadFile(dir_ / "noext.bin")),
            (std::vector<DWORDValue>{0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x00000001, 0xC00F0000, 0x90E40000,
                                     0x0000FFFF}));
}

TEST_F(RastroAsmTool, OutputNameDefinesIncludesAndDebug) {
  Write("inc/regs.h", "#define DEST r1\n");
  Write("d.vsh", "#include \"regs.h\"\nvs_1_1\nmov DEST, SOURCE\n");
  ToolRun run = Execute("d.vsh -o out.bin -D SOURCE=c2 -I inc --skip-validation");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Words(ReadFile(dir_ / "out.bin")),
            (std::vector<DWORDValue>{0xFFFE0101, 0x00000001, 0x800F0001, 0xA0E40002, 0x0000FFFF}));
  EXPECT_FALSE(fs::exists(dir_ / "d.bin"));

  ToolRun debug = Execute("d.vsh -o debug.bin -DSOURCE=c2 -Iinc --debug --skip-validation");
  EXPECT_EQ(debug.status, 0) << debug.err;
  std::vector<DWORDValue> words = Words(ReadFile(dir_ / "debug.bin"));
  ASSERT_GE(words.size(), 3u);
  EXPECT_EQ(words[1] & 0xFFFF, 0xFFFEu);
  EXPECT_EQ(words[2], 0x47554244u);  // "DBUG"
}

TEST_F(RastroAsmTool, AssemblyErrorsExitWithOneAndWriteNothing) {
  Write("e.psh", "ps_2_0\nmov r0, foo\n");
  ToolRun run = Execute("e.psh");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, fs::canonical(dir_ / "e.psh").string() + "(2): error X2005: invalid register 'foo'\n");
  EXPECT_FALSE(fs::exists(dir_ / "e.bin"));

  // The validator's messages come out in the same format.
  Write("g.vsh", "vs_1_1\nmov r0, c0\n");
  ToolRun invalid = Execute("g.vsh");
  EXPECT_EQ(invalid.status, 1);
  EXPECT_NE(invalid.err.find("g.vsh("), std::string::npos) << invalid.err;
  EXPECT_NE(invalid.err.find("error X5"), std::string::npos) << invalid.err;

  Write("f.psh", "ps_2_0\n");
  ToolRun unwritable = Execute("f.psh -o missing/dir/f.bin --skip-validation");
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_EQ(unwritable.err, "rastro-asm: cannot write 'missing/dir/f.bin'\n");
}

TEST_F(RastroAsmTool, DisassemblesATokenStreamBackToSource) {
  Write("r.psh", "ps_1_4\ntexld r0, t0\nmul_x2 r0, r0, c0_bx2\n");
  ASSERT_EQ(Execute("r.psh --skip-validation").status, 0);
  ToolRun listing = Execute("-d r.bin");
  EXPECT_EQ(listing.status, 0) << listing.err;
  EXPECT_EQ(listing.err, "");
  Write("again.psh", listing.out);
  ASSERT_EQ(Execute("again.psh --skip-validation").status, 0) << listing.out;
  EXPECT_EQ(ReadFile(dir_ / "again.bin"), ReadFile(dir_ / "r.bin"));

  Write("broken.bin", std::string("\x01\x01\xff\xff\x05\x00\x00", 7));
  ToolRun broken = Execute("-d broken.bin");
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.err, "rastro-asm: 'broken.bin' is not a whole shader token stream\n");
  EXPECT_EQ(Execute("-d missing.bin").status, 2);
}

TEST_F(RastroAsmTool, BadUsageExitsWithTwo) {
  for (const char* arguments :
       {"", "-E", "-x a.psh", "-E a.psh -D", "-E a.psh -D =1", "-E a.psh -I", "a.psh -o", "a.psh b.psh",
        "-E a.psh --debug", "-E a.psh b.psh", "-d", "-d a.bin a.psh", "-d a.bin -o x.bin"}) {
    ToolRun run = Execute(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.err.find("usage: rastro-asm FILE [-o OUT.bin]"), std::string::npos) << arguments;
    EXPECT_NE(run.err.find("rastro-asm -E FILE"), std::string::npos) << arguments;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
