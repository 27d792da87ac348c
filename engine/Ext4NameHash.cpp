#include "engine/Ext4NameHash.h"

#include <algorithm>
#include <bit>

namespace tolvane {
namespace {

using Word = std::uint32_t;

// The seed a volume without one of its own hashes with: MD4's initial state.
constexpr std::array<Word, 4> kDefaultSeed = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// Characters become numbers as signed or unsigned chars, as the volume was told to.
int CharValue(char c, bool unsignedChars) {
    return unsignedChars ? static_cast<unsigned char>(c) : static_cast<signed char>(c);
}

Word LegacyHash(std::string_view name, bool unsignedChars) {
    Word hash0 = 0x12a3fe2d, hash1 = 0x37abe8f9;
    for (char c : name) {
        Word hash = hash1 + (hash0 ^ static_cast<Word>(CharValue(c, unsignedChars)) * 7152373u);
        if (hash & 0x80000000) {
            hash -= 0x7fffffff;
        }
        hash1 = hash0;
        hash0 = hash;
    }
    return hash0 << 1;
}

// The next `words` words of input from the name's bytes, padded with its length.
void NameToWords(std::string_view name, Word* out, int words, bool unsignedChars) {
    const auto length = static_cast<Word>(name.size());
    Word pad = length | length << 8;
    pad |= pad << 16;
    Word value = pad;
    const std::size_t take =
        std::min<std::size_t>(name.size(), static_cast<std::size_t>(words) * 4);
    for (std::size_t i = 0; i < take; ++i) {
        value = static_cast<Word>(CharValue(name[i], unsignedChars)) + (value << 8);
        if (i % 4 == 3) {
            *out++ = value;
            value = pad;
            --words;
        }
    }
    if (--words >= 0) {
        *out++ = value;
    }
    while (--words >= 0) {
        *out++ = pad;
    }
}

Word F(Word x, Word y, Word z) {
    return z ^ (x & (y ^ z));
}
Word G(Word x, Word y, Word z) {
    return (x & y) + ((x ^ y) & z);
}
Word H(Word x, Word y, Word z) {
    return x ^ y ^ z;
}

template <typename Mix>
void Step(Mix mix, Word& a, Word b, Word c, Word d, Word x, int shift) {
    a = std::rotl(a + mix(b, c, d) + x, shift);
}

// One of MD4's rounds over eight words: the order it takes them in, its constant and shifts.
template <typename Mix>
void Md4Round(Mix mix, std::array<Word, 4>& s, const Word in[8], const int (&order)[8], Word k,
              const int (&shifts)[4]) {
    Word &a = s[0], &b = s[1], &c = s[2], &d = s[3];
    for (int i = 0; i < 8; i += 4) {
        Step(mix, a, b, c, d, in[order[i]] + k, shifts[0]);
        Step(mix, d, a, b, c, in[order[i + 1]] + k, shifts[1]);
        Step(mix, c, d, a, b, in[order[i + 2]] + k, shifts[2]);
        Step(mix, b, c, d, a, in[order[i + 3]] + k, shifts[3]);
    }
}

// MD4 cut down by the kernel to three rounds of eight steps.
void HalfMd4(std::array<Word, 4>& state, const Word in[8]) {
    std::array<Word, 4> s = state;
    Md4Round(F, s, in, {0, 1, 2, 3, 4, 5, 6, 7}, 0, {3, 7, 11, 19});
    Md4Round(G, s, in, {1, 3, 5, 7, 0, 2, 4, 6}, 013240474631, {3, 5, 9, 13});
    Md4Round(H, s, in, {3, 7, 2, 6, 1, 5, 0, 4}, 015666365641, {3, 9, 11, 15});
    for (int i = 0; i < 4; ++i) {
        state[i] += s[i];
    }
}

void Tea(std::array<Word, 4>& state, const Word in[4]) {
    constexpr Word kDelta = 0x9E3779B9;
    Word sum = 0, b0 = state[0], b1 = state[1];
    for (int n = 0; n < 16; ++n) {
        sum += kDelta;
        b0 += ((b1 << 4) + in[0]) ^ (b1 + sum) ^ ((b1 >> 5) + in[1]);
        b1 += ((b0 << 4) + in[2]) ^ (b0 + sum) ^ ((b0 >> 5) + in[3]);
    }
    state[0] += b0;
    state[1] += b1;
}

// Feeds the name through `transform` in pieces of `words` words; `pick` is the word kept.
template <int kWords, typename Transform>
Word Blocks(std::string_view name, std::array<Word, 4> state, bool unsignedChars,
            Transform transform, int pick) {
    Word in[kWords];
    for (std::string_view rest = name; !rest.empty();
         rest.remove_prefix(std::min<std::size_t>(rest.size(), kWords * 4))) {
        NameToWords(rest, in, kWords, unsignedChars);
        transform(state, in);
    }
    return state[pick];
}

}  // namespace

bool Ext4NameHash(std::string_view name, std::uint32_t version, const std::array<Word, 4>& seed,
                  Word& hash) {
    if (version > 5) {
        return false;
    }
    const bool unsignedChars = version >= 3;
    const std::array<Word, 4> state =
        seed == std::array<Word, 4>{} ? kDefaultSeed : seed;  // an unset seed is no seed
    switch (version % 3) {
        case 0:
            hash = LegacyHash(name, unsignedChars);
            break;
        case 1:
            hash = Blocks<8>(name, state, unsignedChars, HalfMd4, 1);
            break;
        default:
            hash = Blocks<4>(name, state, unsignedChars, Tea, 0);
            break;
    }
    hash &= ~1u;
    // The largest hash marks the end of a listing: the kernel moves a name off it.
    if (hash == 0xFFFFFFFEu) {
        hash = 0xFFFFFFFCu;
    }
    return true;
}

}  // namespace tolvane
