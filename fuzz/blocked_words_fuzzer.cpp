// SPDX-License-Identifier: GPL-2.0-or-later
// The blocked-word matcher with any list and any text (lone surrogates,
// NULs, controls, marks, any line breaks): no crash, no read out of bounds,
// and the result is always the text with some of its grapheme clusters
// replaced by "***" masks, each standing for at least one whole cluster (as
// ICU's character break iterator divides the text), so no mask ever cuts an
// emoji sequence, a flag or a syllable apart.
#include "host/host_control.h"
#include "source/blocked_words.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <unicode/ubrk.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::u16string ConsumeUnits(FuzzedDataProvider& in, size_t maxUnits) {
    std::u16string units;
    while (units.size() < maxUnits && in.remaining_bytes() >= 2) {
        const char16_t unit = in.ConsumeIntegral<char16_t>();
        // A unit of 0xFFFF ends the list, so that the text gets its own.
        if (unit == 0xFFFF) break;
        units.push_back(unit);
    }
    return units;
}

// Per unit of `text` and its end: whether a grapheme cluster starts there.
std::vector<char> ClusterBoundaries(const std::u16string& text) {
    std::vector<char> boundaries(text.size() + 1, 0);
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* clusters =
        ubrk_open(UBRK_CHARACTER, "", text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) std::abort();
    for (int32_t at = ubrk_first(clusters); at != UBRK_DONE; at = ubrk_next(clusters)) boundaries[at] = 1;
    ubrk_close(clusters);
    return boundaries;
}

// Whether `masked` is `text` with masks in place of runs of whole clusters:
// `masked`'s "***" may stand for such a run or for three stars of the text
// itself.
bool IsMaskOf(const std::u16string& masked, const std::u16string& text) {
    const std::vector<char> boundaries = ClusterBoundaries(text);
    const size_t m = masked.size(), n = text.size();
    // reach[i][j]: masked[0, i) accounts for text[0, j).
    std::vector<std::vector<char>> reach(m + 1, std::vector<char>(n + 1, 0));
    reach[0][0] = 1;
    for (size_t i = 0; i <= m; ++i) {
        for (size_t j = 0; j <= n; ++j) {
            if (!reach[i][j]) continue;
            if (i < m && j < n && masked[i] == text[j]) reach[i + 1][j + 1] = 1;
            if (masked.compare(i, 3, u"***") == 0 && boundaries[j])
                for (size_t k = j + 1; k <= n; ++k)
                    if (boundaries[k]) reach[i + 3][k] = 1;
        }
    }
    return reach[m][n] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::u16string list = ConsumeUnits(in, 400);
    const std::u16string text = ConsumeUnits(in, 200);
    const BlockedWords words(list);
    const std::u16string masked = words.Mask(text);
    if (words.Empty() && masked != text) std::abort();
    if (!IsMaskOf(masked, text)) std::abort();
    // The folded forms kept from the first text change nothing.
    if (words.Mask(text) != masked) std::abort();
    return 0;
}
