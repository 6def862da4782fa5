// Triple-DES, encrypt-decrypt-encrypt.
#include "base/TripleDes.h"

namespace paloma {

TripleDes::TripleDes(std::span<const uint8_t, 24> key)
    : k1_(key.subspan<0, 8>()), k2_(key.subspan<8, 8>()), k3_(key.subspan<16, 8>()) {}

DesBlock TripleDes::encrypt(const DesBlock& block) const {
    return k3_.encrypt(k2_.decrypt(k1_.encrypt(block)));
}

DesBlock TripleDes::decrypt(const DesBlock& block) const {
    return k1_.decrypt(k2_.encrypt(k3_.decrypt(block)));
}

} // namespace paloma
