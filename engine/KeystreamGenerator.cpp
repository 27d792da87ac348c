#include "KeystreamGenerator.h"

#include <utility>

namespace tolvane {

KeystreamGenerator::KeystreamGenerator() {
    // The identity table until keyed, so that nothing ever reads undefined bytes.
    for (int x = 0; x < 256; ++x) {
        m_s[x] = static_cast<std::uint8_t>(x);
    }
}

void KeystreamGenerator::Key(const std::uint8_t* key, std::size_t keyLength) {
    for (int x = 0; x < 256; ++x) {
        m_s[x] = static_cast<std::uint8_t>(x);
    }
    std::uint8_t j = 0;
    for (std::size_t x = 0; x < 256; ++x) {
        j = static_cast<std::uint8_t>(j + m_s[x] + key[x % keyLength]);
        std::swap(m_s[x], m_s[j]);
    }
}

void KeystreamGenerator::Generate(std::uint8_t* out, std::int64_t n) {
    if (n <= 0) {
        return;
    }
    // The indices live in registers as 8-bit values, so "mod 256" is free; the loop is
    // unrolled by four because the dependency chain through j limits each step anyway and
    // the unrolled form lets the compiler overlap the loads of consecutive steps.
    std::uint8_t* s = m_s;
    std::uint8_t i = 0;
    std::uint8_t j = 0;
    auto step = [&]() -> std::uint8_t {
        i = static_cast<std::uint8_t>(i + 1);
        std::uint8_t si = s[i];
        j = static_cast<std::uint8_t>(j + si);
        std::uint8_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        return s[static_cast<std::uint8_t>(si + sj)];
    };
    std::int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        out[k] = step();
        out[k + 1] = step();
        out[k + 2] = step();
        out[k + 3] = step();
    }
    for (; k < n; ++k) {
        out[k] = step();
    }
}

}  // namespace tolvane
