// The Blowfish block cipher: key schedule and the 16-round Feistel network.
#include "base/Blowfish.h"

#include <algorithm>
#include <cstring>

namespace paloma {

namespace {

#include "base/BlowfishTables.inc"

uint32_t loadBig(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void storeBig(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

Blowfish::Blowfish(std::span<const uint8_t> key) {
    std::memcpy(p_, kInitialP, sizeof p_);
    std::memcpy(s_, kInitialS, sizeof s_);
    size_t length = std::min<size_t>(key.size(), 56);
    if (length > 0) {
        size_t at = 0;
        for (uint32_t& word : p_) {
            uint32_t bytes = 0;
            for (int k = 0; k < 4; ++k) {
                bytes = bytes << 8 | key[at];
                at = (at + 1) % length;
            }
            word ^= bytes;
        }
    }
    uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        encryptHalves(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_)
        for (int i = 0; i < 256; i += 2) {
            encryptHalves(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
}

void Blowfish::encryptHalves(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= p_[i];
        r ^= f(l);
        r ^= p_[i + 1];
        l ^= f(r);
    }
    left = r ^ p_[17];
    right = l ^ p_[16];
}

void Blowfish::decryptHalves(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= p_[i];
        r ^= f(l);
        r ^= p_[i - 1];
        l ^= f(r);
    }
    left = r ^ p_[0];
    right = l ^ p_[1];
}

BlowfishBlock Blowfish::encrypt(const BlowfishBlock& block) const {
    BlowfishBlock out = block;
    encryptBlocks(out);
    return out;
}

BlowfishBlock Blowfish::decrypt(const BlowfishBlock& block) const {
    BlowfishBlock out = block;
    decryptBlocks(out);
    return out;
}

void Blowfish::encryptBlocks(std::span<uint8_t> data) const {
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
        uint8_t* p = data.data() + at;
        uint32_t left = loadBig(p), right = loadBig(p + 4);
        encryptHalves(left, right);
        storeBig(p, left);
        storeBig(p + 4, right);
    }
}

void Blowfish::decryptBlocks(std::span<uint8_t> data) const {
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
        uint8_t* p = data.data() + at;
        uint32_t left = loadBig(p), right = loadBig(p + 4);
        decryptHalves(left, right);
        storeBig(p, left);
        storeBig(p + 4, right);
    }
}

} // namespace paloma
