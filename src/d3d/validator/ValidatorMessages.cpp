#include "ValidatorMessages.h"

namespace rastro {

namespace {

using enum ValidatorMessage;

constexpr ValidatorMessageEntry kMessages[] = {
    {BadVersion, "BadVersion", "the stream does not start with a shader version this validator knows (0x%08X)"},
    {AfterEnd, "AfterEnd", "tokens follow the end token"},
    {Malformed, "Malformed", "the tokens cannot be read as instructions: %s"},
    {NotInVersion, "NotInVersion", "%s is not an instruction of %s"},
    {NoEnd, "NoEnd", "the shader ends without an end token"},
    {Coissue, "Coissue",
     "%s: only a ps_1_x arithmetic instruction right after another, with a separate write mask, can be coissued"},
    {Predication, "Predication", "%s: predicated instructions are not available in %s"},
    {PredicateRegister, "PredicateRegister", "%s: the predicate must be p0"},
    {RegisterUnavailable, "RegisterUnavailable", "%s: register type of %s is not available in %s"},
    {NotWritable, "NotWritable", "%s: %s cannot be written by this instruction"},
    {NotReadable, "NotReadable", "%s: %s cannot be read by this instruction"},
    {IndexRange, "IndexRange", "%s: %s is out of range; %s has %u of these registers"},
    {RelativeNotAllowed, "RelativeNotAllowed", "%s: %s cannot be addressed relatively in %s"},
    {RelativeRegister, "RelativeRegister", "%s: a relative address must come from a0 or aL"},
    {ReadBeforeWrite, "ReadBeforeWrite", "%s reads %s.%s, which has not been written"},
    {ReadPorts, "ReadPorts", "%s reads %u different %s registers; %s allows %u"},
    {LoopCounterOutsideLoop, "LoopCounterOutsideLoop", "%s: aL is used outside a loop"},
    {SourceModifier, "SourceModifier", "%s: source modifier %u on %s is not available here in %s"},
    {ResultModifier, "ResultModifier", "%s: result modifier %s is not available here in %s"},
    {WriteMask, "WriteMask", "%s: write mask .%s is not allowed here in %s"},
    {Swizzle, "Swizzle", "%s: swizzle .%s on %s is not allowed here in %s"},
    {ReplicateSwizzle, "ReplicateSwizzle", "%s: source %u needs a single-component swizzle (.x, .y, .z or .w)"},
    {OperandType, "OperandType", "%s: operand %u (%s) must be %s"},
    {NotDeclared, "NotDeclared", "%s: %s is used but not declared"},
    {DeclaredTwice, "DeclaredTwice", "%s is declared twice"},
    {DeclarationOrder, "DeclarationOrder",
     "%s: declarations and constant definitions must come before the first instruction"},
    {DeclarationTarget, "DeclarationTarget", "dcl cannot declare %s in %s"},
    {SamplerType, "SamplerType", "dcl of %s needs a texture type (2d, cube or volume)"},
    {UsageTwice, "UsageTwice", "dcl of %s: usage %u index %u is already declared on another register"},
    {ArithmeticSlots, "ArithmeticSlots", "the shader needs %u arithmetic instruction slots%s; %s allows %u"},
    {TextureSlots, "TextureSlots", "the shader needs %u texture instruction slots%s; %s allows %u"},
    {TotalSlots, "TotalSlots", "the shader needs %u instruction slots; %s allows %u"},
    {Phase, "Phase", "phase can appear only once"},
    {Unbalanced, "Unbalanced", "%s without a matching %s"},
    {Unclosed, "Unclosed", "%s is not closed before the end of the shader"},
    {NestingDepth, "NestingDepth", "%s nests deeper than %u"},
    {LabelTwice, "LabelTwice", "label l%u is defined twice"},
    {LabelMissing, "LabelMissing", "call to l%u, which is never defined"},
    {OutputNotWritten, "OutputNotWritten", "the shader never writes %s"},
    {TextureAfterArithmetic, "TextureAfterArithmetic", "%s: texture instructions must come before arithmetic ones%s"},
    {MatrixSequence, "MatrixSequence", "%s must follow %s on the next texture register"},
    {TextureWrittenTwice, "TextureWrittenTwice", "%s: t%u has already been written by a texture instruction"},
    {PhaseOneSource, "PhaseOneSource", "%s: before the phase marker a texture source must be a t register"},
};

}  // namespace

const ValidatorMessageEntry& ValidatorMessageInfo(ValidatorMessage message) {
  for (const ValidatorMessageEntry& entry : kMessages) {
    if (entry.message == message) return entry;
  }
  return kMessages[0];  // unreachable: every enumerator has a row, which a test checks
}

const ValidatorMessageEntry* ValidatorMessageTable(size_t* count) {
  if (count) *count = sizeof kMessages / sizeof kMessages[0];
  return kMessages;
}

}  // namespace rastro
