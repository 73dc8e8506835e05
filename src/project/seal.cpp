// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/seal.h"

#include <algorithm>
#include <memory>
#include <openssl/evp.h>

namespace tavrel::project {
namespace {

struct DigestContextFree
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<Seal> computeSeal(std::span<const uint8_t> sealedData)
{
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1)
        return std::nullopt;

    std::array<uint8_t, kSealBlockSize> block{};
    while (!sealedData.empty()) {
        const std::size_t chunk = std::min(sealedData.size(), block.size());
        std::copy_n(sealedData.begin(), chunk, block.begin());
        if (EVP_DigestUpdate(context.get(), block.data(), block.size()) != 1)
            return std::nullopt;
        sealedData = sealedData.subspan(chunk);
    }
    if (EVP_DigestUpdate(context.get(), block.data(), block.size()) != 1)
        return std::nullopt;

    Seal seal{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), seal.data(), &length) != 1 || length != seal.size())
        return std::nullopt;
    return seal;
}

bool hasValidSeal(std::span<const uint8_t> fileBytes)
{
    if (fileBytes.size() < kSealedDataOffset)
        return false;
    const auto seal = computeSeal(fileBytes.subspan(kSealedDataOffset));
    return seal && std::equal(seal->begin(), seal->end(), fileBytes.begin() + kSealOffset);
}

} // namespace tavrel::project
