#pragma once
// The bytes of heap this process has in use: AddressSanitizer's own count in
// a sanitizer build (where freed blocks wait in quarantine and the C
// library's figures are empty), else the C library's; and its resident set.
#include <QByteArray>
#include <QFile>

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

// The resident set of this process (VmRSS) in kB, or -1.
inline long ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
