// A record read from an eBPF ring as the user side may read it: the bytes the
// kernel side sent (records end after their names, to spare the ring), the
// rest of the structure zero.
#pragma once

#include <stddef.h>
#include <string.h>

template <typename Record> Record RecordOfBytes(const void* data, size_t size) {
    Record r;
    memset(&r, 0, sizeof r);
    memcpy(&r, data, size < sizeof r ? size : sizeof r);
    return r;
}
