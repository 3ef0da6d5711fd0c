// TopicFindText: whether the words of a phrase occur, in order, as
// consecutive words of a topic's visible text. Words are compared whole and
// without regard to case; the search keeps a partial-match table over the
// phrase words, so it never re-reads the RTF and has no word or phrase limit.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/spots.h"
#include "topic/topic.h"

namespace brio {

namespace {

// Upper case of the bytes of a single-byte character.
struct Folding {
    unsigned char upper[256];
    Folding() {
        for (int b = 0; b < 256; ++b) upper[b] = PlatCharUpper(static_cast<unsigned char>(b));
    }
};

const Folding& Fold() {
    static const Folding folding;
    return folding;
}

// The plain bytes that fold to one byte of the phrase, as many as a block
// compare takes; a count of -1 when there are more.
struct FoldedTo {
    static constexpr int kMax = 4;
    unsigned char bytes[kMax] = {};
    int count = 0;
    FoldedTo(const unsigned char* upper, unsigned char to) {
        for (int b = 0; b < 256; ++b) {
            if (upper[b] != to || !RtfIsPlain(static_cast<unsigned char>(b))) continue;
            count = count < 0 || count == kMax ? -1 : count;
            if (count >= 0) bytes[count++] = static_cast<unsigned char>(b);
        }
    }
};

// Finds, from p on, the next byte that ends a plain run or that folds to
// the phrase's first byte after a byte that is no ASCII letter or digit and
// before one that is not plain or folds to its second (any byte when the
// first word is one letter long, or too many fold to it): every place where
// a word can start with the phrase's first two letters, and some more. It
// reads whole aligned blocks, which never cross into another page, and
// stops at the input's NUL at the latest: a look past either end of the
// text stays inside the block, so the sanitizer is told to let it be.
// (Word-dense text, late phrase: 450 -> 575 MB/s; absent phrase, which
// starts with the most frequent word: 370 -> 400 MB/s by the second letter.)
#if defined(__SSE2__)
#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize_address))
#endif
const unsigned char*
SkipToCandidate(const unsigned char* p, const FoldedTo& firsts, const FoldedTo* seconds) {
    const __m128i* block =
        reinterpret_cast<const __m128i*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t{15});
    unsigned skip = static_cast<unsigned>(reinterpret_cast<uintptr_t>(p) & 15u);
    // Unsigned ranges by one signed compare: the range moved to the bottom.
    const __m128i letterShift = _mm_set1_epi8(static_cast<char>(0x80 - 'a'));
    const __m128i letterEnd = _mm_set1_epi8(static_cast<char>(0x80 + 26));
    const __m128i digitShift = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
    const __m128i digitEnd = _mm_set1_epi8(static_cast<char>(0x80 + 10));
    const __m128i caseBit = _mm_set1_epi8(0x20);
    // Whether the byte before the block's first is a letter or digit.
    unsigned char last = p[-1];
    unsigned carry = ((last | 0x20) >= 'a' && (last | 0x20) <= 'z') || (last >= '0' && last <= '9');
    for (unsigned keep = 0xFFFFu << skip;; keep = 0xFFFFu, ++block) {
        __m128i b = _mm_load_si128(block);
        __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, _mm_setzero_si128()),
                                                    _mm_cmpeq_epi8(b, _mm_set1_epi8('\\'))),
                                       _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('{')),
                                                    _mm_cmpeq_epi8(b, _mm_set1_epi8('}'))));
        special = _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\r')),
                                                     _mm_cmpeq_epi8(b, _mm_set1_epi8('\n'))));
        auto anyOf = [&b](const FoldedTo& set) {
            __m128i m = _mm_setzero_si128();
            for (int i = 0; i < set.count; ++i)
                m = _mm_or_si128(m,
                                 _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(set.bytes[i]))));
            return static_cast<unsigned>(_mm_movemask_epi8(m));
        };
        unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(special));
        // The byte after the block's last is unknown: it may fit.
        unsigned before = seconds ? ((anyOf(*seconds) | stops) >> 1) | 0x8000u : 0xFFFFu;
        __m128i letter =
            _mm_cmplt_epi8(_mm_add_epi8(_mm_or_si128(b, caseBit), letterShift), letterEnd);
        __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(b, digitShift), digitEnd);
        unsigned alnum = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(letter, digit)));
        // A first letter after a letter or digit is inside a word.
        unsigned after = (alnum << 1 | carry) & 0xFFFFu;
        unsigned mask = (stops | (anyOf(firsts) & ~after & before)) & keep;
        if (mask) return reinterpret_cast<const unsigned char*>(block) + __builtin_ctz(mask);
        carry = alnum >> 15;
    }
}
#endif

// The phrase as folded words, and the partial-match table over them.
class Phrase {
  public:
    // Cuts the phrase into words by the word rule of the topic's code page.
    Phrase(const char* phrase, int32_t codePage) {
        const unsigned char* upper = Fold().upper;
        const unsigned char* word = RtfWordBytes(codePage);
        bool inWord = false;
        for (const unsigned char* s = reinterpret_cast<const unsigned char*>(phrase); *s; ++s) {
            if (!word[*s]) {
                inWord = false;
                continue;
            }
            if (!inWord) starts_.push_back(text_.size());
            inWord = true;
            if (RtfIsLeadByte(codePage, *s) && s[1]) {
                // A two-byte character is compared as it stands.
                text_.append(reinterpret_cast<const char*>(s), 2);
                ++s;
            } else {
                text_ += static_cast<char>(upper[*s]);
            }
        }
        starts_.push_back(text_.size());
        fallback_.assign(Count(), 0);
        size_t k = 0;
        for (size_t i = 1; i < Count(); ++i) {
            while (k > 0 && !Equal(k, Word(i), Length(i))) k = fallback_[k - 1];
            if (Equal(k, Word(i), Length(i))) ++k;
            fallback_[i] = k;
        }
    }

    size_t Count() const { return starts_.size() - 1; }
    const char* Word(size_t i) const { return text_.data() + starts_[i]; }
    size_t Length(size_t i) const { return starts_[i + 1] - starts_[i]; }
    size_t Fallback(size_t i) const { return fallback_[i]; }
    bool Equal(size_t i, const char* word, size_t length) const {
        return Length(i) == length && std::memcmp(Word(i), word, length) == 0;
    }
    // The same for input bytes not yet folded (single-byte code pages).
    bool EqualFolding(size_t i, const unsigned char* word, size_t length) const {
        if (Length(i) != length) return false;
        const unsigned char* upper = Fold().upper;
        const char* own = Word(i);
        for (size_t j = 0; j < length; ++j)
            if (static_cast<unsigned char>(own[j]) != upper[word[j]]) return false;
        return true;
    }

  private:
    std::string text_;            // the folded words, back to back
    std::vector<size_t> starts_;  // start of each word, then the end
    std::vector<size_t> fallback_;
};

// The search pass: reads the topic's visible text (not destinations, hidden
// text or references) and feeds its words to the partial match.
class TextSearch {
  public:
    TextSearch(RtfReader& r, const Phrase& phrase)
        : r_(r),
          phrase_(phrase),
          wordBytes_(RtfWordBytes(r.CodePage())),
          doubleByte_(RtfIsLeadByte(r.CodePage(), 0x81)) {
        const unsigned char* upper = Fold().upper;
        unsigned char first = static_cast<unsigned char>(phrase.Word(0)[0]);
        for (int b = 0; b < 256; ++b)
            stop_[b] = !RtfIsPlain(static_cast<unsigned char>(b)) || upper[b] == first;
        if (phrase.Length(0) > 1 && seconds_.count > 0) hasSeconds_ = true;
    }

    // 1 found, 0 not; *status receives the code that stopped the reading.
    int32_t Run(int32_t* status) {
        for (;;) {
            uint32_t tokenStart = r_.Offset();
            int32_t rc = r_.Next();
            if (rc == -1) return EndWord(false) == Step::kFound ? 1 : 0;
            Step step = Step::kGoOn;
            if (rc == 0) rc = Token(tokenStart, &step);
            if (rc != 0) {
                *status = rc;
                return 0;
            }
            if (step == Step::kFound) return 1;
        }
    }

  private:
    enum class Step { kGoOn, kFound };

    int32_t Token(uint32_t tokenStart, Step* step);
    int32_t Text(uint32_t tokenStart, Step* step);
    int32_t ControlWord(uint32_t tokenStart, Step* step);
    Step PlainRun();
    // Whether the word at p is phrase word i, 1 or 0, as far as the run can
    // tell: -1 when a byte that is not plain comes first, as the word may
    // go on in a later token.
    int WordIs(const unsigned char* p, size_t i) const {
        const char* word = phrase_.Word(i);
        size_t length = phrase_.Length(i);
        for (size_t j = 0; j <= length; ++j) {
            if (!RtfIsPlain(p[j])) return -1;
            if (j == length) return wordBytes_[p[j]] ? 0 : 1;
            if (upper_[p[j]] != static_cast<unsigned char>(word[j])) return 0;
        }
        return 0;
    }
    // Feeds the plain word at p as FeedInput would, when the run tells how
    // it compares with every phrase word it meets; *length receives its
    // length if it matched, else 0. False, with nothing changed, otherwise.
    bool FeedKnown(const unsigned char* p, size_t* length, Step* step) {
        size_t k = matched_;
        int is;
        for (;;) {
            is = WordIs(p, k);
            if (is < 0) return false;
            if (is || k == 0) break;
            k = phrase_.Fallback(k - 1);
        }
        *length = is ? phrase_.Length(k++) : 0;
        matched_ = k;
        *step = k == phrase_.Count() ? Step::kFound : Step::kGoOn;
        return true;
    }
    // The first byte from p on that stops the skip over words that cannot
    // start the phrase; may stop early, in the middle of a word.
    const unsigned char* Skip(const unsigned char* p) const {
        if (stop_[*p]) return p;
#if defined(__SSE2__)
        if (firsts_.count > 0)
            return SkipToCandidate(p + 1, firsts_, hasSeconds_ ? &seconds_ : nullptr);
#endif
        while (!stop_[*p]) ++p;
        return p;
    }

    // Takes one topic word; kFound when the phrase is now complete.
    template <typename Equal>
    Step Feed(Equal equal) {
        while (matched_ > 0 && !equal(matched_)) matched_ = phrase_.Fallback(matched_ - 1);
        if (equal(matched_)) ++matched_;
        return matched_ == phrase_.Count() ? Step::kFound : Step::kGoOn;
    }
    Step FeedHeld() {
        return Feed([&](size_t i) { return phrase_.Equal(i, word_.data(), word_.size()); });
    }
    // A word that lies whole in the input, not yet folded.
    Step FeedInput(const unsigned char* word, size_t length) {
        return Feed([&](size_t i) { return phrase_.EqualFolding(i, word, length); });
    }
    Step EndWord(bool evenEmpty) {
        Step step = begun_ || evenEmpty ? FeedHeld() : Step::kGoOn;
        word_.clear();
        begun_ = false;
        return step;
    }
    // Input bytes of a word that may go on in a later token.
    void Hold(const unsigned char* from, const unsigned char* to) {
        begun_ = true;
        for (; from < to; ++from) word_ += static_cast<char>(upper_[*from]);
    }
    Step Unit(const RtfUnit& u) {
        if (!RtfUnitIsWordChar(u, wordBytes_)) return EndWord(false);
        begun_ = true;
        if (u.kind == RtfUnit::kDouble)
            word_.append(u.content, 2);
        else
            word_ += static_cast<char>(upper_[static_cast<unsigned char>(u.content[0])]);
        return Step::kGoOn;
    }

    RtfReader& r_;
    const Phrase& phrase_;
    const unsigned char* wordBytes_;
    const unsigned char* upper_ = Fold().upper;
    const bool doubleByte_;
    RtfSpotFinder finder_{false};
    size_t matched_ = 0;
    std::string word_;  // the folded word read so far, when it spans tokens
    bool begun_ = false;
    bool hidden_ = false;
    // Bytes that end a plain run or fold to the phrase's first byte.
    bool stop_[256];
    // The plain bytes that fold to the phrase's first and second bytes, for
    // the block skip; the second only when the first word has one.
    const FoldedTo firsts_{upper_, static_cast<unsigned char>(phrase_.Word(0)[0])};
    const FoldedTo seconds_{
        upper_, static_cast<unsigned char>(phrase_.Length(0) > 1 ? phrase_.Word(0)[1] : 0)};
    bool hasSeconds_ = false;
};

int32_t TextSearch::Token(uint32_t tokenStart, Step* step) {
    int32_t rc = 0;
    switch (r_.Kind()) {
        case kRtfText:
            return Text(tokenStart, step);
        case kRtfGroup:
            if (r_.First() == '{') {
                r_.Push();
            } else if (!r_.IsStrayClose()) {
                r_.Pop();
            }
            rc = finder_.Token(r_, tokenStart);
            hidden_ = finder_.Hidden(r_);
            return rc;
        case kRtfControlWord:
            return ControlWord(tokenStart, step);
        default:
            return 0;  // a line end is no break in a word
    }
}

int32_t TextSearch::ControlWord(uint32_t tokenStart, Step* step) {
    if (r_.IsSkippedDestination()) {
        int32_t rc = r_.CopyGroup(nullptr);
        hidden_ = finder_.Hidden(r_);
        return rc;
    }
    int32_t rc = finder_.Token(r_, tokenStart);
    if (rc != 0) return rc;
    hidden_ = finder_.Hidden(r_);
    if (hidden_ || finder_.InReference(tokenStart)) return 0;
    if (r_.Id() == kRtfKwPar) {
        *step = EndWord(true);
    } else if (r_.Class() == kRtfSymbol) {
        *step = EndWord(false);
    }
    return 0;
}

int32_t TextSearch::Text(uint32_t tokenStart, Step* step) {
    if (finder_.InReference(tokenStart) || r_.Length() == 2) return 0;  // or \-
    if (r_.First() == '\\') {
        int32_t rc = finder_.Token(r_, tokenStart);
        if (rc != 0) return rc;
        if (finder_.InReference(tokenStart)) {
            // A picture or a context marker: no visible word.
            *step = EndWord(false);
            return 0;
        }
    } else if (hidden_) {
        r_.SkipPlain(r_.PlainRun());  // hidden characters, all of them
        return 0;
    } else if (!doubleByte_) {
        *step = PlainRun();
        return 0;
    }
    RtfUnit unit;
    int32_t rc = r_.ReadUnit(&unit);
    if (rc == 0 && !hidden_) *step = Unit(unit);
    return rc;
}

// The plain character in hand and those after it, in a single-byte code
// page. A word that starts and ends inside the run is compared where it
// stands; one that may go on beyond the run is held.
TextSearch::Step TextSearch::PlainRun() {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(r_.Pos()) - 1;
    const unsigned char* start = p;
    Step step = Step::kGoOn;
    while (step == Step::kGoOn) {
        if (!begun_ && matched_ == 0) {
            // Nothing matched and no word open: only a word that starts with
            // the phrase's first letter can change that. (Word-dense text,
            // late phrase: 250 -> 470 MB/s.)
            p = Skip(p);
            if (p > start && wordBytes_[p[-1]]) {
                // Inside a word that cannot: on to its end, and held when
                // it may go on after the run.
                const unsigned char* word = p;
                while (word > start && wordBytes_[word[-1]]) --word;
                while (wordBytes_[*p]) ++p;
                if (RtfIsPlain(*p)) continue;
                Hold(word, p);
                break;
            }
            if (!RtfIsPlain(*p)) break;
        }
        if (!RtfIsPlain(*p)) break;
        if (!wordBytes_[*p]) {
            if (begun_) step = EndWord(false);
            ++p;
            continue;
        }
        size_t length = 0;
        if (!begun_ && FeedKnown(p, &length, &step)) {
            // Compared where it stands, without looking for its end first;
            // a word that matched nothing is passed by the skip. (Word-dense
            // text, absent phrase: 330 -> 370 MB/s.)
            p += length ? length : 1;
            continue;
        }
        const unsigned char* q = p;
        while (wordBytes_[*q]) ++q;
        if (!begun_ && RtfIsPlain(*q)) {
            step = FeedInput(p, static_cast<size_t>(q - p));
        } else {
            Hold(p, q);
        }
        p = q;
    }
    if (p - start > 1) r_.SkipPlain(static_cast<size_t>(p - start - 1));
    return step;
}

}  // namespace

int32_t TopicFind(const char* rtfText, const char* phrase, int32_t* status) {
    *status = 0;
    if (!rtfText || !phrase) return 0;
    RtfReader reader(rtfText);
    Phrase words(phrase, reader.CodePage());
    if (words.Count() == 0) return 0;
    TextSearch search(reader, words);
    return search.Run(status);
}

}  // namespace brio
