// No exception leaves a Direct3D method: callers are C-style code that only understands
// HRESULTs. Every entry point that allocates (itself or in the renderer it calls) runs its
// allocating part through GuardAllocation, which turns running out of memory into
// E_OUTOFMEMORY, reported for the call.
#pragma once

#include <new>
#include <stdexcept>
#include <utility>

#include "DebugOutput.h"

namespace rastro {

template <typename Body>
HRESULT GuardAllocation(const char* call, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc&) {
    return ReportFailure(E_OUTOFMEMORY, call, "not enough memory");
  } catch (const std::length_error&) {
    return ReportFailure(E_OUTOFMEMORY, call, "more memory than can be asked for");
  } catch (...) {
    return ReportFailure(E_FAIL, call, "an unexpected failure inside the layer");
  }
}

}  // namespace rastro
