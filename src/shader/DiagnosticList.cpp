#include "DiagnosticList.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <new>

#include "ResultBuffer.h"

namespace rastro {

namespace {

constexpr std::size_t kWorkBufferSize = 4096;
constexpr std::size_t kMaxLineText = kWorkBufferSize - 2;  // room for the line feed and the NUL

// Appends formatted text to a line under construction, cutting it at the room left.
class LineBuilder {
 public:
  void Append(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    AppendV(format, args);
    va_end(args);
  }
  void AppendV(const char* format, va_list args) {
    std::size_t room = kMaxLineText - used_;
    if (room == 0) return;
    int written = std::vsnprintf(buffer_ + used_, room + 1, format, args);
    if (written > 0) used_ += std::min(static_cast<std::size_t>(written), room);
  }
  const char* Finish() {
    buffer_[used_++] = '\n';
    buffer_[used_] = '\0';
    return buffer_;
  }
  std::size_t Length() const { return used_; }

 private:
  char buffer_[kWorkBufferSize];
  std::size_t used_ = 0;
};

}  // namespace

HRESULT DiagnosticList::RecordError(const Token* position, DWORD code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = RecordErrorV(position, code, format, args);
  va_end(args);
  return hr;
}

HRESULT DiagnosticList::RecordWarning(const Token* position, DWORD code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  HRESULT hr = RecordWarningV(position, code, format, args);
  va_end(args);
  return hr;
}

HRESULT DiagnosticList::Report(const Token* position, DiagnosticMessage id, DWORD codeOffset, const char* format, ...) {
  const DiagnosticMessageInfo& info = DescribeMessage(id);
  assert(format == info.format);
  (void)format;
  va_list args;
  va_start(args, format);
  DWORD code = info.code + codeOffset;
  HRESULT hr = info.severity == DiagnosticSeverity::Error ? RecordErrorV(position, code, info.format, args)
                                                          : RecordWarningV(position, code, info.format, args);
  va_end(args);
  return hr;
}

HRESULT DiagnosticList::RecordErrorV(const Token* position, DWORD code, const char* format, va_list args) {
  return Record(position, code, "error", true, format, args);
}

HRESULT DiagnosticList::RecordWarningV(const Token* position, DWORD code, const char* format, va_list args) {
  std::size_t index = 0;
  if (HRESULT hr = FindOrInsertRule(code, index); FAILED(hr)) return hr;
  DWORD& flags = ruleFlags_[index];
  DWORD level = flags & kLevelMask;
  if (level == kRuleError) return Record(position, code, "error", true, format, args);
  if (warningLevel_ == 0 || level == 0 || warningLevel_ < level) return S_OK;
  if ((flags & kShowOnce) && (flags & kShown)) return S_OK;
  flags |= kShown;
  return Record(position, code, "warning", false, format, args);
}

HRESULT DiagnosticList::Record(const Token* position, DWORD code, const char* kind, bool isError, const char* format,
                               va_list args) {
  LineBuilder line;
  if (position) {
    if (position->fileName) line.Append("%s", position->fileName);
    line.Append("(%u): ", position->line ? position->line : 1u);
  }
  if (code != 0) line.Append("%s X%u: ", kind, code);
  line.AppendV(format, args);
  std::size_t length = line.Length() + 1;
  const char* text = line.Finish();

  // The count stands even when the line cannot be kept, so the assembly still fails.
  if (isError)
    ++errorCount_;
  else
    ++warningCount_;
  try {
    text_.append(text, length);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT DiagnosticList::FindOrInsertRule(DWORD code, std::size_t& index) {
  auto found = std::lower_bound(ruleCodes_.begin(), ruleCodes_.end(), code);
  index = static_cast<std::size_t>(found - ruleCodes_.begin());
  if (found != ruleCodes_.end() && *found == code) return S_OK;
  try {
    // Capacity doubles whenever the count reaches a power of two.
    std::size_t count = ruleCodes_.size();
    if (count == 0 || std::has_single_bit(count)) {
      std::size_t capacity = count == 0 ? 1 : 2 * count;
      ruleCodes_.reserve(capacity);
      ruleFlags_.reserve(capacity);
    }
    ruleCodes_.insert(ruleCodes_.begin() + static_cast<std::ptrdiff_t>(index), code);
    ruleFlags_.insert(ruleFlags_.begin() + static_cast<std::ptrdiff_t>(index), 1u);
  } catch (const std::bad_alloc&) {
    ruleFlags_.resize(std::min(ruleFlags_.size(), ruleCodes_.size()));
    ruleCodes_.resize(ruleFlags_.size());
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT DiagnosticList::SetWarningRule(DWORD code, DWORD value) {
  std::size_t index = 0;
  if (HRESULT hr = FindOrInsertRule(code, index); FAILED(hr)) return hr;
  DWORD& flags = ruleFlags_[index];
  if (value == kRuleDefault)
    flags = (flags & kShown) | 1u;
  else if (value == kRuleOnce)
    flags |= kShowOnce;
  else
    flags = (flags & ~kLevelMask) | (value & kLevelMask);
  return S_OK;
}

HRESULT DiagnosticList::MakeErrorText(ID3DXBuffer** out) const {
  if (!out) return S_OK;
  *out = nullptr;
  if (text_.empty()) return S_OK;
  if (text_.size() >= 0xFFFFFFFFu) return E_OUTOFMEMORY;
  ResultBuffer* buffer = nullptr;
  if (HRESULT hr = ResultBuffer::Create(static_cast<DWORD>(text_.size() + 1), &buffer); FAILED(hr)) return hr;
  std::memcpy(buffer->GetBufferPointer(), text_.c_str(), text_.size() + 1);
  *out = buffer;
  return S_OK;
}

}  // namespace rastro
