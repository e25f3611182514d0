// How many threads the libraries may keep busy: the RASTROMETER_THREADS environment value, or
// the processors this process may run on.
#pragma once

namespace rastro {

// RASTROMETER_THREADS as a whole decimal number from 1 to 256 (1: everything on the calling
// thread); unset, empty, 0 or anything else: the processors the process may run on (at least 1).
unsigned RequestedThreadCount();

}  // namespace rastro
