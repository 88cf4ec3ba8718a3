// Which vector instructions this build may use. On x86 the SSE of the base
// instruction set always, AVX2 in the files built for it and only after a
// run-time check; elsewhere the portable code alone.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define TEQ_X86 1
#include <immintrin.h>
#else
#define TEQ_X86 0
#endif
