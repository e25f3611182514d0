// `rastro-tex convert IN... --out-dir DIR`: many files, several at a time.
#pragma once

#include <functional>
#include <vector>

namespace rastro::tex {

// Converts every input into DIR/<input's name without its extension>.dds, `jobs` files at a
// time (0: as many as the loader has threads), with `convertOne` (input, output) giving each
// file's exit status. On a terminal, a progress line counts the files done. Returns 0 when
// every file converted, 1 when any failed, 2 when two inputs would write the same output.
int ConvertFiles(const std::vector<const char*>& inputs, const char* outDir, unsigned jobs,
                 const std::function<int(const char* input, const char* output)>& convertOne);

}  // namespace rastro::tex
