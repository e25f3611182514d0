// rastro-asm: the shader assembler on the command line. So far it preprocesses:
//   rastro-asm -E FILE [-D NAME[=VALUE]]... [-I DIR]...
// prints the tokens that reach the assembler (one output line per source line end) and the
// messages on stderr.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Preprocessor.h"

namespace {

constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "rastro-asm: %s\n", problem);
  std::fprintf(stderr,
               "usage: rastro-asm -E FILE [-D NAME[=VALUE]]... [-I DIR]...\n"
               "  -E FILE          preprocess FILE as shader assembly and print its tokens\n"
               "  -D NAME[=VALUE]  define NAME (empty, or as VALUE)\n"
               "  -I DIR           search DIR for includes not found beside the including file\n");
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

}  // namespace

int main(int argc, char** argv) {
  const char* file = nullptr;
  std::vector<std::string> names, values;
  std::vector<const char*> includeDirectories;

  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    auto value = [&](std::string_view option) -> const char* {
      if (argument.size() > option.size()) return argv[i] + option.size();
      return i + 1 < argc ? argv[++i] : nullptr;
    };
    if (argument.starts_with("-E")) {
      if (file) return Usage("only one -E FILE");
      if (!(file = value("-E"))) return Usage("-E needs a file");
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
    } else if (argument == "-h" || argument == "--help") {
      Usage(nullptr);
      return 0;
    } else {
      return Usage(("unknown argument '" + std::string(argument) + "'").c_str());
    }
  }
  if (!file) return Usage("nothing to do (-E FILE is required)");

  std::vector<D3DXMACRO> defines;
  for (std::size_t i = 0; i < names.size(); ++i) defines.push_back({names[i].c_str(), values[i].c_str()});
  defines.push_back({nullptr, nullptr});

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
