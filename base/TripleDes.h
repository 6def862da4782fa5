#pragma once
// Triple-DES (TDEA, encrypt-decrypt-encrypt) with a 24-byte key made of
// three DES keys, one 64-bit block at a time (ECB). A key whose three parts
// are equal gives single DES.

#include "base/Des.h"

#include <span>

namespace paloma {

class TripleDes {
public:
    explicit TripleDes(std::span<const uint8_t, 24> key);

    DesBlock encrypt(const DesBlock& block) const;
    DesBlock decrypt(const DesBlock& block) const;

private:
    Des k1_, k2_, k3_;
};

} // namespace paloma
