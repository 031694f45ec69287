// SPDX-License-Identifier: GPL-2.0-or-later
// The words a source never draws: its "blocked_words" setting parsed into a
// matcher that finds each entry in a text however a viewer disguises it
// (other letter forms, look-alike letters of other scripts, invisible or
// punctuation characters between the letters) and masks each match as "***",
// whole grapheme clusters at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct USpoofChecker;
struct UBreakIterator;

class BlockedWords {
public:
    static constexpr size_t kMaxEntries = 2000;
    static constexpr size_t kMaxEntryCharacters = 100;

    // No entries: Mask gives every text back unchanged.
    BlockedWords();
    // The setting's text: one entry a line; blank lines are ignored, spaces
    // around an entry trimmed. The first kMaxEntries entries of at most
    // kMaxEntryCharacters characters are kept; one log line says what was
    // left out beyond that, and one names the entries that hold nothing to
    // match (only punctuation, spaces or invisible characters).
    explicit BlockedWords(std::u16string_view setting);
    ~BlockedWords();
    BlockedWords(BlockedWords&&) noexcept;
    BlockedWords& operator=(BlockedWords&&) noexcept;

    bool Empty() const { return entryCount_ == 0; }
    size_t EntryCount() const { return entryCount_; }

    // `text` with each match of an entry replaced by "***": from the start of
    // the grapheme cluster its first character is in to the end of the one
    // its last character is in, whatever was skipped between them included,
    // so that no part of an emoji sequence, a flag or a syllable is left
    // beside a mask (nor the marks, variation selectors and skin tones on its
    // last character). Overlapping matches are masked as one. Not for
    // concurrent use: the folded form of each character is remembered
    // between calls, and one cluster iterator serves every call.
    std::u16string Mask(std::u16string_view text) const;

private:
    // A character folded for matching, two ways, since letter case and
    // look-alikes do not commute: case first ("I" is "i", not the "l" it
    // looks like) and look first (Greek "Β" is "b", where its lower case
    // "β" looks like no Latin letter). `byLook` is empty when both agree;
    // both are empty for a character that is skipped.
    struct Folded {
        std::u32string byCase, byLook;
    };
    // A character of a text: its UTF-16 range and folded forms.
    struct TextCharacter {
        uint32_t begin, end;
        const Folded* folded;
    };

    const Folded& Fold(char32_t character) const;
    void AddEntry(std::u32string_view folded);
    // The trie node reached from `node` along `units`, or none.
    std::optional<uint32_t> Walk(uint32_t node, std::u32string_view units) const;

    struct CheckerDeleter {
        void operator()(USpoofChecker* checker) const;
    };
    std::unique_ptr<USpoofChecker, CheckerDeleter> checker_;
    struct BreakIteratorDeleter {
        void operator()(UBreakIterator* iterator) const;
    };
    // Grapheme clusters, set to each text that has a match; none when ICU
    // could not open one (masks then cover code points).
    std::unique_ptr<UBreakIterator, BreakIteratorDeleter> clusters_;

    // The entries' folded forms as a trie: node 0 is the root; an edge is
    // keyed by its parent node and unit.
    std::unordered_map<uint64_t, uint32_t> edges_;
    std::vector<bool> ends_;  // per node: an entry ends here
    size_t entryCount_ = 0;

    // Folded forms of characters seen before; emptied before a text when it
    // has grown large, so a hostile text costs time once, not memory forever.
    mutable std::unordered_map<char32_t, Folded> foldCache_;
};
