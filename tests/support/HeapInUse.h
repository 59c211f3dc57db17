#pragma once
// The bytes of heap this process has in use: AddressSanitizer's own count in
// a sanitizer build (where freed blocks wait in quarantine and the C
// library's figures are empty), else the C library's.
#include <malloc.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// Declared here: the sanitizer's interface header does not come with every
// compiler.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

inline double HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return double(__sanitizer_get_current_allocated_bytes());
#else
    return double(mallinfo2().uordblks);
#endif
}
