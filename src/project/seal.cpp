// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/seal.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tavrel::project {
namespace {

// MD5 (RFC 1321), in the program itself: a digest of a few kilobytes per project file is all
// it needs, and a cryptography library would cost every start of the runner its loading (some
// 4 ms of a run that otherwise takes a few) and the reading of its configuration.
class Md5
{
public:
    void update(std::span<const uint8_t> data)
    {
        m_length += data.size();
        if (m_buffered > 0) {
            const std::size_t take = std::min(data.size(), m_block.size() - m_buffered);
            std::memcpy(m_block.data() + m_buffered, data.data(), take);
            m_buffered += take;
            data = data.subspan(take);
            if (m_buffered < m_block.size())
                return;
            transform(m_block.data());
            m_buffered = 0;
        }
        while (data.size() >= m_block.size()) {
            transform(data.data());
            data = data.subspan(m_block.size());
        }
        std::memcpy(m_block.data(), data.data(), data.size());
        m_buffered = data.size();
    }

    Seal finish()
    {
        const uint64_t bits = m_length * 8;
        static constexpr uint8_t kPadding[64] = {0x80};
        update(std::span(kPadding, m_buffered < 56 ? 56 - m_buffered : 120 - m_buffered));
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<uint8_t>(bits >> (8 * i));
        update(length);
        Seal digest{};
        for (std::size_t i = 0; i < 4; ++i)
            for (std::size_t j = 0; j < 4; ++j)
                digest[4 * i + j] = static_cast<uint8_t>(m_state[i] >> (8 * j));
        return digest;
    }

private:
    void transform(const uint8_t* block)
    {
        static constexpr uint32_t kSine[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
            0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
            0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
            0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
            0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
            0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
            0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
        static constexpr int kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};
        uint32_t words[16];
        for (std::size_t i = 0; i < 16; ++i)
            words[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
                       static_cast<uint32_t>(block[4 * i + 2]) << 16 |
                       static_cast<uint32_t>(block[4 * i + 3]) << 24;
        uint32_t a = m_state[0];
        uint32_t b = m_state[1];
        uint32_t c = m_state[2];
        uint32_t d = m_state[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f = 0;
            int g = 0;
            switch (i / 16) {
            case 0:
                f = (b & c) | (~b & d);
                g = i;
                break;
            case 1:
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
                break;
            }
            const uint32_t rotated = std::rotl(a + f + kSine[i] + words[g], kShift[(i / 16) * 4 + i % 4]);
            a = d;
            d = c;
            c = b;
            b += rotated;
        }
        m_state[0] += a;
        m_state[1] += b;
        m_state[2] += c;
        m_state[3] += d;
    }

    uint32_t m_state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<uint8_t, 64> m_block{};
    std::size_t m_buffered = 0;
    uint64_t m_length = 0;
};

} // namespace

std::optional<Seal> computeSeal(std::span<const uint8_t> sealedData)
{
    Md5 digest;
    std::array<uint8_t, kSealBlockSize> block{};
    while (!sealedData.empty()) {
        const std::size_t chunk = std::min(sealedData.size(), block.size());
        std::copy_n(sealedData.begin(), chunk, block.begin());
        digest.update(block);
        sealedData = sealedData.subspan(chunk);
    }
    digest.update(block);
    return digest.finish();
}

bool hasValidSeal(std::span<const uint8_t> fileBytes)
{
    if (fileBytes.size() < kSealedDataOffset)
        return false;
    const auto seal = computeSeal(fileBytes.subspan(kSealedDataOffset));
    return seal && std::equal(seal->begin(), seal->end(), fileBytes.begin() + kSealOffset);
}

} // namespace tavrel::project
