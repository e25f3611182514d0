#include "RegisterName.h"

#include "InstructionTable.h"
#include "StringFormat.h"
#include "d3d9types.h"

namespace rastro {

std::string RegisterName(DWORD registerType, UINT number, int versionIndex) {
  bool pixel = IsPixelVersion(versionIndex);
  const char* name = nullptr;
  bool numbered = true;
  switch (registerType) {
    case D3DSPR_TEMP: name = "r"; break;
    case D3DSPR_INPUT: name = "v"; break;
    case D3DSPR_CONST: name = "c"; break;
    case D3DSPR_CONST2:
    case D3DSPR_CONST3:
    case D3DSPR_CONST4:
      name = "c";
      number += (registerType - D3DSPR_CONST2 + 1) * 2048;
      break;
    case D3DSPR_ADDR: name = pixel ? "t" : "a"; break;
    case D3DSPR_RASTOUT:
      if (number <= 2) {
        static const char* const kRastout[] = {"oPos", "oFog", "oPts"};
        name = kRastout[number];
        numbered = false;
      } else {
        name = "oRast";
      }
      break;
    case D3DSPR_ATTROUT: name = "oD"; break;
    case D3DSPR_OUTPUT: name = versionIndex == kVs30 || versionIndex == kVs3sw ? "o" : "oT"; break;
    case D3DSPR_CONSTINT: name = "i"; break;
    case D3DSPR_COLOROUT: name = "oC"; break;
    case D3DSPR_DEPTHOUT:
      name = "oDepth";
      numbered = number != 0;
      break;
    case D3DSPR_SAMPLER: name = "s"; break;
    case D3DSPR_CONSTBOOL: name = "b"; break;
    case D3DSPR_LOOP:
      name = "aL";
      numbered = number != 0;
      break;
    case D3DSPR_MISCTYPE:
      if (number <= 1) {
        name = number == 0 ? "vPos" : "vFace";
        numbered = false;
      } else {
        name = "vMisc";
      }
      break;
    case D3DSPR_LABEL: name = "l"; break;
    case D3DSPR_PREDICATE: name = "p"; break;
    default: break;
  }
  if (!name) return FormatString("reg%u_%u", static_cast<unsigned>(registerType), number);
  if (!numbered) return name;
  return FormatString("%s%u", name, number);
}

}  // namespace rastro
