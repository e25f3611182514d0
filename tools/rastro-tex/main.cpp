// rastro-tex: the texture loader on the command line.
//   rastro-tex info FILE... [--pixels]
//   rastro-tex convert IN OUT.dds [options]
//   rastro-tex convert IN... --out-dir DIR [-j N] [options]
//   rastro-tex --help | --version
#include <cstdio>
#include <cstring>
#include <span>

#include "Command.h"
#include "RastrometerVersion.h"

namespace rastro::tex {

namespace {

constexpr Command kCommands[] = {
    {"info", "FILE... [--pixels]",
     "what each image file holds: type, size, depth, mip levels, resource type, format;\n"
     "      with --pixels, also whether its pixels decode",
     RunInfo},
    {"convert",
     "IN OUT.dds [--format NAME] [--size WxH|image] [--mips N] [--filter NAME] [--mipfilter NAME]\n"
     "      [--mip-source image|level] [--colorkey 0xAARRGGBB] [--cube|--volume]\n"
     "  rastro-tex convert IN... --out-dir DIR [-j N] [the options above]",
     "loads IN as a texture (a power-of-two size and a full mip chain unless told otherwise)\n"
     "      and writes it as a DDS file; with --out-dir, each IN as DIR/NAME.dds, N files at a time\n"
     "      (default: one per thread). Block-compressed mips are filtered from the uncompressed\n"
     "      image (--mip-source image, the default) or from the compressed level above (level)",
     RunConvert},
};

void PrintUsageTo(std::FILE* stream) {
  std::fprintf(stream, "usage:\n");
  for (const Command& command : kCommands) {
    std::fprintf(stream, "  rastro-tex %s %s\n      %s\n", command.Name, command.Usage, command.Summary);
  }
  std::fprintf(stream,
               "  rastro-tex -h | --help\n      print this text\n"
               "  rastro-tex --version\n      print the version and the commit it was built from\n");
}

}  // namespace

int PrintUsage() {
  PrintUsageTo(stderr);
  return kExitUsage;
}

}  // namespace rastro::tex

int main(int argc, char** argv) {
  using namespace rastro::tex;
  if (argc < 2) {
    std::fprintf(stderr, "rastro-tex: no command given\n");
    return PrintUsage();
  }
  if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    PrintUsageTo(stdout);
    return kExitOk;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::fputs(RASTROMETER_VERSION_LINE("rastro-tex"), stdout);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.Name) == 0) return command.Run(std::span<char* const>(argv + 2, argc - 2));
  }
  std::fprintf(stderr, "rastro-tex: unknown command '%s'\n", argv[1]);
  return PrintUsage();
}
