// rastro-asm: the shader assembler on the command line.
//   rastro-asm FILE [-o OUT.bin] [-D NAME[=VALUE]]... [-I DIR]... [--debug] [--skip-validation]
// assembles FILE and writes its token stream (little-endian 32-bit words) to OUT.bin, by
// default FILE with its extension replaced by ".bin".
//   rastro-asm -E FILE [-D NAME[=VALUE]]... [-I DIR]...
// prints the tokens that reach the assembler (one output line per source line end).
//   rastro-asm -d IN.bin
// prints source for a token stream that assembles back to the same tokens.
// Messages go to stderr in the assembler's own format. Exit status: 0 success, 1 errors in the
// source, 2 bad usage or an output that cannot be written.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Preprocessor.h"
#include "RastrometerVersion.h"
#include "ShaderAssembler.h"
#include "ShaderDisassembler.h"

namespace {

constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;

int Usage(const char* problem, std::FILE* stream = stderr) {
  if (problem) std::fprintf(stderr, "rastro-asm: %s\n", problem);
  std::fprintf(stream,
               "usage: rastro-asm FILE [-o OUT.bin] [-D NAME[=VALUE]]... [-I DIR]... [--debug] [--skip-validation]\n"
               "       rastro-asm -E FILE [-D NAME[=VALUE]]... [-I DIR]...\n"
               "       rastro-asm -d IN.bin\n"
               "       rastro-asm --help | --version\n"
               "  FILE             assemble FILE and write its token stream\n"
               "  -o OUT.bin       where to write the tokens (default: FILE with the extension .bin)\n"
               "  --debug          add the debug-information block\n"
               "  --skip-validation  do not run the shader validator\n"
               "  -E FILE          preprocess FILE as shader assembly and print its tokens\n"
               "  -d IN.bin        print a token stream as assembly source\n"
               "  -D NAME[=VALUE]  define NAME (empty, or as VALUE)\n"
               "  -I DIR           search DIR for includes not found beside the including file\n"
               "  -h, --help       print this text\n"
               "  --version        print the version and the commit it was built from\n");
  return kExitUsage;
}

// Collects output in large blocks; the preprocessor can deliver millions of tokens.
class Output {
 public:
  Output() : buffer_(new char[kBlock]) {}
  ~Output() { Flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Append(std::string_view text) {
    if (text.size() > kBlock - used_) {
      Flush();
      if (text.size() > kBlock) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
      }
    }
    if (!text.empty()) std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Append(char c) {
    if (used_ == kBlock) Flush();
    buffer_[used_++] = c;
  }
  void Flush() {
    if (used_) std::fwrite(buffer_.get(), 1, used_, stdout);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// The output name for FILE: its extension (after the last '.' of the last path part)
// replaced by ".bin".
std::string DefaultOutputName(std::string_view source) {
  std::size_t slash = source.find_last_of('/');
  std::size_t dot = source.find_last_of('.');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash) && dot != slash + 1)
    source = source.substr(0, dot);
  return std::string(source) + ".bin";
}

int Preprocess(const char* file, const std::vector<D3DXMACRO>& defines,
               const std::vector<const char*>& includeDirectories) {
  bool failed = false;
  {
    rastro::Preprocessor preprocessor;
    for (const char* directory : includeDirectories) preprocessor.AddIncludeDirectory(directory);
    if (FAILED(preprocessor.OpenSource(file, defines.data(), nullptr))) {
      failed = true;
    } else if (FAILED(preprocessor.PushMode(rastro::ShaderTokenizer::kAssemblyMode))) {
      failed = true;
    } else {
      Output output;
      bool lineHasTokens = false;
      rastro::Token token;
      for (;;) {
        if (FAILED(preprocessor.ReadToken(token))) {
          failed = true;
          break;
        }
        if (token.kind == rastro::TokenKind::EndOfFile) break;
        if (token.kind == rastro::TokenKind::EndOfLine) {
          output.Append('\n');
          lineHasTokens = false;
          continue;
        }
        if (lineHasTokens) output.Append(' ');
        output.Append(token.Source());
        lineHasTokens = true;
      }
      if (lineHasTokens) output.Append('\n');
    }
    const rastro::DiagnosticList& diagnostics = preprocessor.Diagnostics();
    std::string_view messages = diagnostics.Text();
    std::fwrite(messages.data(), 1, messages.size(), stderr);
    failed = failed || diagnostics.ErrorCount() != 0;
  }
  std::fflush(stdout);
  return failed ? kExitErrors : 0;
}

int Assemble(const char* file, const std::string& outputName, const std::vector<D3DXMACRO>& defines,
             const std::vector<const char*>& includeDirectories, DWORD flags) {
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr;
  {
    rastro::Preprocessor preprocessor;
    for (const char* directory : includeDirectories) preprocessor.AddIncludeDirectory(directory);
    HRESULT opened = preprocessor.OpenSource(file, defines.data(), nullptr);
    hr = rastro::AssembleOpenedSource(preprocessor, opened, flags, &shader, &errors);
  }
  if (errors) {
    std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
    errors->Release();
  }
  if (FAILED(hr) || !shader) {
    if (shader) shader->Release();
    return kExitErrors;
  }
  std::FILE* out = std::fopen(outputName.c_str(), "wb");
  bool written =
      out && std::fwrite(shader->GetBufferPointer(), 1, shader->GetBufferSize(), out) == shader->GetBufferSize();
  if (out && std::fclose(out) != 0) written = false;
  shader->Release();
  if (!written) {
    std::fprintf(stderr, "rastro-asm: cannot write '%s'\n", outputName.c_str());
    return kExitUsage;
  }
  return 0;
}

int Disassemble(const char* file) {
  std::FILE* in = std::fopen(file, "rb");
  if (!in) {
    std::fprintf(stderr, "rastro-asm: cannot read '%s'\n", file);
    return kExitUsage;
  }
  std::string bytes;
  char block[1 << 16];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, in)) != 0;) bytes.append(block, got);
  bool readError = std::ferror(in) != 0;
  std::fclose(in);
  if (readError) {
    std::fprintf(stderr, "rastro-asm: cannot read '%s'\n", file);
    return kExitUsage;
  }
  std::vector<DWORD> tokens(bytes.size() / sizeof(DWORD));
  if (!tokens.empty()) std::memcpy(tokens.data(), bytes.data(), tokens.size() * sizeof(DWORD));
  std::string text;
  HRESULT hr = rastro::DisassembleShader(tokens.data(), tokens.size(), text);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  if (FAILED(hr) || bytes.size() % sizeof(DWORD) != 0) {
    std::fprintf(stderr, "rastro-asm: '%s' is not a whole shader token stream\n", file);
    return kExitErrors;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* preprocessFile = nullptr;
  const char* disassembleFile = nullptr;
  const char* file = nullptr;
  const char* outputName = nullptr;
  DWORD flags = 0;
  std::vector<std::string> names, values;
  std::vector<const char*> includeDirectories;

  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    auto value = [&](std::string_view option) -> const char* {
      if (argument.size() > option.size()) return argv[i] + option.size();
      return i + 1 < argc ? argv[++i] : nullptr;
    };
    if (argument == "--debug") {
      flags |= D3DXSHADER_DEBUG;
    } else if (argument == "--skip-validation") {
      flags |= D3DXSHADER_SKIPVALIDATION;
    } else if (argument == "-h" || argument == "--help") {
      Usage(nullptr, stdout);
      return 0;
    } else if (argument == "--version") {
      std::fputs(RASTROMETER_VERSION_LINE("rastro-asm"), stdout);
      return 0;
    } else if (argument.starts_with("-E")) {
      if (preprocessFile) return Usage("only one -E FILE");
      if (!(preprocessFile = value("-E"))) return Usage("-E needs a file");
    } else if (argument.starts_with("-d")) {
      if (disassembleFile) return Usage("only one -d IN.bin");
      if (!(disassembleFile = value("-d"))) return Usage("-d needs a file");
    } else if (argument.starts_with("-o")) {
      if (outputName) return Usage("only one -o OUT");
      if (!(outputName = value("-o")) || !*outputName) return Usage("-o needs a file name");
    } else if (argument.starts_with("-D")) {
      const char* definition = value("-D");
      if (!definition || !*definition || *definition == '=') return Usage("-D needs a name");
      std::string_view text = definition;
      std::size_t equals = text.find('=');
      names.emplace_back(text.substr(0, equals));
      values.emplace_back(equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1));
    } else if (argument.starts_with("-I")) {
      const char* directory = value("-I");
      if (!directory || !*directory) return Usage("-I needs a directory");
      includeDirectories.push_back(directory);
    } else if (argument.starts_with("-") && argument != "-") {
      return Usage(("unknown argument '" + std::string(argument) + "'").c_str());
    } else {
      if (file) return Usage("only one source file");
      file = argv[i];
    }
  }
  if (preprocessFile && (file || outputName || flags || disassembleFile))
    return Usage("-E takes no other source, -d, -o or flags");
  if (disassembleFile) {
    if (file || outputName || flags || !names.empty() || !includeDirectories.empty())
      return Usage("-d takes no other argument");
    return Disassemble(disassembleFile);
  }
  if (!preprocessFile && !file) return Usage("nothing to do (a source FILE, -E FILE or -d IN.bin is required)");

  std::vector<D3DXMACRO> defines;
  for (std::size_t i = 0; i < names.size(); ++i) defines.push_back({names[i].c_str(), values[i].c_str()});
  defines.push_back({nullptr, nullptr});

  if (preprocessFile) return Preprocess(preprocessFile, defines, includeDirectories);
  std::string output = outputName ? std::string(outputName) : DefaultOutputName(file);
  return Assemble(file, output, defines, includeDirectories, flags);
}
