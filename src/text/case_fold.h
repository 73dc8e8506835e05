// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrel::text {

// Unicode simple case folding of one code point (CaseFolding.txt, status C and S): the
// one-to-one folding a volume that ignores case applies. Code points without a folding, and
// values outside Unicode, come back unchanged.
char32_t foldCodePoint(char32_t c);

// The name a volume that ignores letter case would see as the same as `name`: every valid
// UTF-8 sequence folded by foldCodePoint, every byte that is not part of one kept as it is (so
// a name in another encoding still folds its ASCII letters). Two names match ignoring case when
// their folded forms are equal. A pure ASCII name allocates nothing beyond the result.
std::string foldName(std::string_view name);

} // namespace tavrel::text
