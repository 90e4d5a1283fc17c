#pragma once
// Where the system readings go: the platform hands each reading over as a
// byte, a 32-bit value or a record, without knowing what gathers them (the
// generator's seed pool, or a test that counts them).

#include <cstdint>

class TPuitsReleves {
public:
    virtual ~TPuitsReleves() = default;
    virtual void AddByte(uint8_t b) = 0;
    // The four bytes of v, most significant first.
    virtual void AddLong(uint32_t v) = 0;
    // len bytes of buf in order; the receiver zeroes them in buf once taken.
    virtual void AddBuffer(void* buf, int32_t len) = 0;
};
