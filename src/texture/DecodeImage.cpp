#include "DecodeImage.h"

#include <locale.h>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "DebugOutput.h"
#include "FormatCatalogue.h"
#include "MappedFile.h"
#include "decoders/ImageDecoder.h"

namespace rastro {

namespace {

// Gives the calling thread the "C" numeric conventions (decimal point, no grouping) while it
// lives, so that header numbers read the same whatever locale the program runs in. Other
// threads and the other locale categories are untouched.
class ScopedCNumericLocale {
 public:
  ScopedCNumericLocale() {
    locale_t copy = duplocale(uselocale(static_cast<locale_t>(0)));
    if (copy == static_cast<locale_t>(0)) return;
    cLocale_ = newlocale(LC_NUMERIC_MASK, "C", copy);
    if (cLocale_ == static_cast<locale_t>(0)) {
      freelocale(copy);
      return;
    }
    previous_ = uselocale(cLocale_);
  }
  ~ScopedCNumericLocale() {
    if (cLocale_ == static_cast<locale_t>(0)) return;
    uselocale(previous_);
    freelocale(cLocale_);
  }
  ScopedCNumericLocale(const ScopedCNumericLocale&) = delete;
  ScopedCNumericLocale& operator=(const ScopedCNumericLocale&) = delete;

  bool Active() const { return cLocale_ != static_cast<locale_t>(0); }

 private:
  locale_t cLocale_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};

void SetBoxes(ImageData& image) {
  for (ImageData* face = &image; face; face = face->NextFace.get()) {
    for (ImageData* level = face; level; level = level->NextMip.get()) {
      level->Box = {0, 0, level->Width, level->Height, 0, level->Depth};
    }
  }
}

void FillInfo(const ImageData& image, D3DXIMAGE_INFO& info) {
  std::memset(&info, 0, sizeof info);
  info.Width = image.Width;
  info.Height = image.Height;
  info.Depth = image.Depth;
  info.MipLevels = 1;
  for (const ImageData* level = image.NextMip.get(); level; level = level->NextMip.get()) ++info.MipLevels;
  info.Format = ToPublicFormat(image.Format);
  info.ResourceType = image.ResourceType;
  info.ImageFileFormat = image.FileFormat;
}

struct Refusal {
  const ImageDecoder* decoder;
  HRESULT result;
  std::string reason;
  bool tooLarge;
};

// Says on the debug output why each decoder that tried refused the bytes, and picks the reason
// a user most needs: the cap, else the refusal of a decoder that recognised its signature.
void ExplainFailure(const std::vector<Refusal>& refusals, DecodeFailure* failure) {
  if (refusals.empty()) {
    ReportLoaderFailure(D3DXERR_INVALIDDATA, "DecodeImage", "the bytes begin like no file type the loader reads");
  }
  for (const Refusal& refusal : refusals) {
    const std::string call = std::string(refusal.decoder->Name) + " decoder";
    ReportLoaderFailure(refusal.result, call.c_str(), refusal.reason.c_str());
  }
  if (!failure) return;
  *failure = DecodeFailure{};
  const Refusal* chosen = nullptr;
  for (const Refusal& refusal : refusals) {
    if (refusal.tooLarge) {
      chosen = &refusal;
      break;
    }
    if (!chosen && refusal.decoder->Signature) chosen = &refusal;
  }
  if (!chosen) return;
  failure->TooLarge = chosen->tooLarge;
  failure->Recognised = true;
  failure->FileFormat = chosen->decoder->FileFormat;
  failure->Reason = chosen->reason;
}

}  // namespace

HRESULT DecodeImage(ImageData* image, const void* fileBytes, UINT byteCount, D3DXIMAGE_INFO* info, BOOL loadPixels,
                    const PixelTarget* target, DecodeFailure* failure) {
  if (!image || !fileBytes || byteCount == 0) return D3DERR_INVALIDCALL;
  if (!info && !loadPixels) return S_OK;

  ScopedCNumericLocale locale;
  if (!locale.Active()) return E_OUTOFMEMORY;

  const FileBytes bytes(static_cast<const BYTE*>(fileBytes), byteCount);
  bool decoded = false;
  std::vector<Refusal> refusals;
  for (const ImageDecoder& decoder : ImageDecoders()) {
    image->ReleaseContents();
    image->LoadPixels = loadPixels;
    image->Target = target && loadPixels ? *target : PixelTarget{};
    image->ResourceType = D3DRTYPE_TEXTURE;
    image->FileFormat = decoder.FileFormat;
    if (!decoder.Sniff(bytes)) continue;
    StartDecoderReport();
    const HRESULT result = decoder.Decode(*image, bytes);
    DecoderReport report = TakeDecoderReport();
    if (SUCCEEDED(result)) {
      decoded = true;
      break;
    }
    if (report.Reason.empty()) report.Reason = result == E_OUTOFMEMORY ? "out of memory" : "malformed";
    refusals.push_back({&decoder, result, std::move(report.Reason), report.TooLarge});
  }
  image->Target = PixelTarget{};
  if (!decoded) {
    image->ReleaseContents();
    ExplainFailure(refusals, failure);
    return D3DXERR_INVALIDDATA;
  }

  if (info) FillInfo(*image, *info);
  SetBoxes(*image);
  return S_OK;
}

}  // namespace rastro

// ---- Published entry points ----

HRESULT D3DXGetImageInfoFromFileInMemory(const void* pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo) {
  if (!pSrcData || SrcDataSize == 0 || !pSrcInfo) return D3DERR_INVALIDCALL;
  rastro::ImageData image;
  return rastro::DecodeImage(&image, pSrcData, SrcDataSize, pSrcInfo, FALSE);
}

HRESULT D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo) {
  if (!pSrcFile || !pSrcInfo) return D3DERR_INVALIDCALL;
  rastro::MappedFile file;
  if (HRESULT hr = file.Open(pSrcFile); FAILED(hr)) return hr;
  return D3DXGetImageInfoFromFileInMemory(file.View(), file.Size(), pSrcInfo);
}
