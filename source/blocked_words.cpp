// SPDX-License-Identifier: GPL-2.0-or-later
#include "source/blocked_words.h"

#include "host/OBSApi.h"

#include <unicode/normalizer2.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>
#include <unicode/utf16.h>

#include <algorithm>

namespace {

constexpr std::u16string_view kMask = u"***";
// Entries named in full in a log line; the rest are counted.
constexpr size_t kNamedInLog = 5;
constexpr size_t kFoldCacheLimit = 8192;

// Marks that are letters of a word, not decoration on one: spacing marks
// (Mc) and the dependent vowel signs of the Indic scripts and of Thai, Lao,
// Khmer or Tibetan, spacing or not. Words that differ only in them are
// different words ("मिल" and "मील", "กิน" and "กัน").
bool IsLetterMark(UChar32 character) {
    return u_charType(character) == U_COMBINING_SPACING_MARK ||
           u_getIntPropertyValue(character, UCHAR_INDIC_SYLLABIC_CATEGORY) == U_INSC_VOWEL_DEPENDENT;
}

// Characters a viewer can put between letters without changing what a
// reader sees or reads: format characters (zero-width spaces and joiners,
// bidi controls, the soft hyphen), the other combining marks (accents,
// tone marks, variation selectors), spaces, punctuation, controls, and the
// rest of Unicode's default-ignorable characters (such as the Hangul
// filler).
bool IsSkipped(UChar32 character) {
    constexpr uint32_t kSkippedCategories = U_GC_CF_MASK | U_GC_Z_MASK | U_GC_CC_MASK | U_GC_P_MASK;
    const uint32_t category = U_GET_GC_MASK(character);
    return (category & kSkippedCategories) != 0 || ((category & U_GC_M_MASK) != 0 && !IsLetterMark(character)) ||
           u_hasBinaryProperty(character, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) ||
           u_hasBinaryProperty(character, UCHAR_VARIATION_SELECTOR) || u_isUWhiteSpace(character);
}

std::u16string Trimmed(std::u16string_view line) {
    String trimmed(std::u16string{line});
    trimmed.KillSpaces();
    return trimmed.Text();
}

size_t CharacterCount(std::u16string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++count) {
        UChar32 character;
        U16_NEXT(text.data(), i, text.size(), character);
    }
    return count;
}

// The first `count` units of an overlong entry for the log, not cutting a
// surrogate pair in two.
std::u16string Beginning(const std::u16string& entry, size_t count) {
    if (U16_IS_LEAD(entry[count - 1])) --count;
    return entry.substr(0, count) + u"…";
}

String Quoted(const std::vector<std::u16string>& entries, size_t total) {
    String list;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) list << u", ";
        list << u"\"" << String(entries[i]) << u"\"";
    }
    if (total > entries.size()) list << u" and " << static_cast<int>(total - entries.size()) << u" more";
    return list;
}

}  // namespace

void BlockedWords::CheckerDeleter::operator()(USpoofChecker* checker) const { uspoof_close(checker); }
void BlockedWords::BreakIteratorDeleter::operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }

BlockedWords::BlockedWords() : ends_{false} {}
BlockedWords::~BlockedWords() = default;
BlockedWords::BlockedWords(BlockedWords&&) noexcept = default;
BlockedWords& BlockedWords::operator=(BlockedWords&&) noexcept = default;

BlockedWords::BlockedWords(std::u16string_view setting) : BlockedWords() {
    UErrorCode status = U_ZERO_ERROR;
    checker_.reset(uspoof_open(&status));
    if (U_FAILURE(status)) {
        checker_.reset();
        AppWarning(u"blocked_words: Unicode's look-alike letters cannot be loaded (%s); entries match without them",
                   String(u_errorName(status)).Array());
    }
    status = U_ZERO_ERROR;
    clusters_.reset(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_FAILURE(status)) {
        clusters_.reset();
        AppWarning(u"blocked_words: Unicode's grapheme clusters cannot be loaded (%s); masks cover the matched "
                   u"characters only, which may leave parts of an emoji beside them",
                   String(u_errorName(status)).Array());
    }

    size_t entries = 0, tooMany = 0, tooLong = 0, nothingToMatch = 0;
    std::vector<std::u16string> longNamed, emptyNamed;
    std::u32string folded;
    for (size_t start = 0; start <= setting.size();) {
        size_t end = setting.find(u'\n', start);
        if (end == std::u16string_view::npos) end = setting.size();
        const std::u16string entry = Trimmed(setting.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        if (++entries > kMaxEntries) {
            ++tooMany;
            continue;
        }
        if (CharacterCount(entry) > kMaxEntryCharacters) {
            if (tooLong++ < kNamedInLog) longNamed.push_back(Beginning(entry, 20));
            continue;
        }
        folded.clear();
        for (size_t i = 0; i < entry.size();) {
            UChar32 character;
            U16_NEXT(entry.data(), i, entry.size(), character);
            folded += Fold(static_cast<char32_t>(character)).byCase;
        }
        if (folded.empty()) {
            if (nothingToMatch++ < kNamedInLog) emptyNamed.push_back(entry);
            continue;
        }
        AddEntry(folded);
        ++entryCount_;
    }

    if (tooMany || tooLong) {
        String line(u"blocked_words: left out");
        if (tooMany) line << u" " << static_cast<int>(tooMany) << u" entries after the first " << static_cast<int>(kMaxEntries);
        if (tooMany && tooLong) line << u" and";
        if (tooLong)
            line << u" " << static_cast<int>(tooLong) << u" entries longer than " << static_cast<int>(kMaxEntryCharacters)
                 << u" characters (" << Quoted(longNamed, tooLong) << u")";
        AppWarning(u"%s", line.Array());
    }
    if (nothingToMatch)
        AppWarning(u"blocked_words: ignored %d entries of only punctuation, spaces or invisible characters (%s)",
                   static_cast<int>(nothingToMatch), Quoted(emptyNamed, nothingToMatch).Array());
}

void BlockedWords::AddEntry(std::u32string_view folded) {
    uint32_t node = 0;
    for (const char32_t unit : folded) {
        const uint64_t key = (static_cast<uint64_t>(node) << 32) | unit;
        const auto [edge, added] = edges_.try_emplace(key, static_cast<uint32_t>(ends_.size()));
        if (added) ends_.push_back(false);
        node = edge->second;
    }
    ends_[node] = true;
}

std::optional<uint32_t> BlockedWords::Walk(uint32_t node, std::u32string_view units) const {
    for (const char32_t unit : units) {
        const auto edge = edges_.find((static_cast<uint64_t>(node) << 32) | unit);
        if (edge == edges_.end()) return std::nullopt;
        node = edge->second;
    }
    return node;
}

// Compatibility forms and letter case folded together (full-width,
// mathematical and circled letters become plain ones), then each letter
// replaced by the prototype of its look-alikes (Cyrillic "а" becomes Latin
// "a", "0" becomes "O"), folded for case again, less the skipped characters
// the decompositions bring along (accents). The look-first form skips the
// first case folding.
const BlockedWords::Folded& BlockedWords::Fold(char32_t character) const {
    const auto cached = foldCache_.find(character);
    if (cached != foldCache_.end()) return cached->second;

    auto fold = [&](bool caseFirst) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString original(static_cast<UChar32>(character));
        const icu::Normalizer2* normalizer =
            caseFirst ? icu::Normalizer2::getNFKCCasefoldInstance(status) : icu::Normalizer2::getNFKCInstance(status);
        icu::UnicodeString text = U_SUCCESS(status) ? normalizer->normalize(original, status) : original;
        if (checker_ && U_SUCCESS(status)) {
            icu::UnicodeString prototype;
            uspoof_getSkeletonUnicodeString(checker_.get(), 0, text, prototype, &status);
            if (U_SUCCESS(status)) text = prototype;
        }
        // A character ICU refuses (a lone surrogate) matches itself.
        if (U_FAILURE(status)) text = original;
        text.foldCase();
        std::u32string folded;
        for (int32_t i = 0; i < text.length();) {
            const UChar32 unit = text.char32At(i);
            i += U16_LENGTH(unit);
            if (!IsSkipped(unit)) folded.push_back(static_cast<char32_t>(unit));
        }
        return folded;
    };
    Folded folded;
    if (!IsSkipped(static_cast<UChar32>(character))) {
        folded.byCase = fold(true);
        if (!folded.byCase.empty()) folded.byLook = fold(false);
        if (folded.byLook == folded.byCase) folded.byLook.clear();
    }
    return foldCache_.emplace(character, std::move(folded)).first->second;
}

std::u16string BlockedWords::Mask(std::u16string_view text) const {
    if (Empty()) return std::u16string(text);
    if (foldCache_.size() > kFoldCacheLimit) foldCache_.clear();
    std::vector<TextCharacter> characters;
    characters.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto begin = static_cast<uint32_t>(i);
        UChar32 character;
        U16_NEXT(text.data(), i, text.size(), character);
        characters.push_back({begin, static_cast<uint32_t>(i), &Fold(static_cast<char32_t>(character))});
    }

    // The longest match from each character on, walking the trie with
    // either folded form of each character; skipped characters leave the
    // walk where it is.
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    std::vector<uint32_t> active, next;
    bool clustersSet = false;
    for (size_t start = 0; start < characters.size(); ++start) {
        if (characters[start].folded->byCase.empty()) continue;
        active.assign(1, 0);
        size_t longest = SIZE_MAX;
        for (size_t at = start; at < characters.size() && !active.empty(); ++at) {
            const Folded& folded = *characters[at].folded;
            if (folded.byCase.empty()) continue;
            next.clear();
            bool ends = false;
            for (const uint32_t node : active) {
                for (const std::u32string* form : {&folded.byCase, &folded.byLook}) {
                    if (form->empty()) continue;
                    const std::optional<uint32_t> reached = Walk(node, *form);
                    if (!reached || std::find(next.begin(), next.end(), *reached) != next.end()) continue;
                    next.push_back(*reached);
                    ends |= ends_[*reached];
                }
            }
            if (ends) longest = at;
            active.swap(next);
        }
        if (longest == SIZE_MAX) continue;
        uint32_t begin = characters[start].begin, end = characters[longest].end;
        if (clusters_) {
            // Set only for a text with a match: most have none.
            if (!clustersSet) {
                UErrorCode status = U_ZERO_ERROR;
                ubrk_setText(clusters_.get(), text.data(), static_cast<int32_t>(text.size()), &status);
                clustersSet = U_SUCCESS(status);
            }
            if (clustersSet) {
                if (!ubrk_isBoundary(clusters_.get(), static_cast<int32_t>(begin)))
                    begin = static_cast<uint32_t>(ubrk_preceding(clusters_.get(), static_cast<int32_t>(begin)));
                end = static_cast<uint32_t>(
                    ubrk_following(clusters_.get(), static_cast<int32_t>(characters[longest].begin)));
            }
        }
        if (!spans.empty() && begin < spans.back().second) spans.back().second = std::max(spans.back().second, end);
        else spans.emplace_back(begin, end);
    }

    std::u16string masked;
    masked.reserve(text.size() + spans.size() * kMask.size());
    size_t copied = 0;
    for (const auto& [begin, end] : spans) {
        masked.append(text.substr(copied, begin - copied));
        masked.append(kMask);
        copied = end;
    }
    masked.append(text.substr(copied));
    return masked;
}
