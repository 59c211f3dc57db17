#pragma once
// A shared block of the earlier object layout, as a killed process of that
// build leaves it: a 64-byte head (magic "TSV1", the kind letter, removed
// flag, size), then `dataBytes` bytes all set, and, when `holdMutex`, a
// process-shared robust mutex at the start of the data, held by the calling
// process (which must live on for the mutex to stay held).
#include <QByteArray>

#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

inline bool MakeEarlierLayoutBlock(const QByteArray& key, char kind, size_t dataBytes, bool holdMutex)
{
    const int fd = shm_open(key.constData(), O_RDWR | O_CREAT, 0600);
    const size_t size = 64 + dataBytes;
    if (fd < 0 || ftruncate(fd, off_t(size)) != 0)
        return false;
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED)
        return false;
    auto* base = static_cast<char*>(mapped);
    std::memset(base, 0xFF, size);
    const uint32_t head[4] = {0x31565354, uint32_t(uint8_t(kind)), 0, 0};
    std::memcpy(base, head, sizeof(head));
    if (holdMutex) {
        auto* mutex = reinterpret_cast<pthread_mutex_t*>(base + 64);
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(mutex, &attr);
        pthread_mutex_lock(mutex);
    }
    return true;
}
