// TopicFindText: whether the words of a phrase occur, in order, as
// consecutive words of a topic's visible text. Words are compared whole and
// without regard to case; the search keeps a partial-match table over the
// phrase words, so it never re-reads the RTF and has no word or phrase limit.
#include <cstring>

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

// A growable byte buffer on the library heap.
struct Bytes {
    char* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    ~Bytes() { BrioFree(data); }
    bool Reserve(size_t n) {
        if (n <= capacity) return true;
        size_t grown = capacity ? capacity * 2 : 64;
        while (grown < n) grown *= 2;
        char* p = static_cast<char*>(BrioRealloc(data, grown));
        if (!p) return false;
        data = p;
        capacity = grown;
        return true;
    }
    bool Push(char ch) {
        if (size == capacity && !Reserve(size + 1)) return false;
        data[size++] = ch;
        return true;
    }
};

struct PhraseWords {
    Bytes text;      // the folded words, back to back
    Bytes offsets;   // size_t start of each word, then the end
    Bytes fallback;  // size_t partial-match table
    size_t count = 0;
    size_t Start(size_t i) const { return reinterpret_cast<const size_t*>(offsets.data)[i]; }
    size_t Length(size_t i) const { return Start(i + 1) - Start(i); }
    const char* Word(size_t i) const { return text.data + Start(i); }
    size_t& Fallback(size_t i) { return reinterpret_cast<size_t*>(fallback.data)[i]; }
};

bool PushOffset(Bytes& b, size_t value) {
    if (!b.Reserve(b.size + sizeof value)) return false;
    std::memcpy(b.data + b.size, &value, sizeof value);
    b.size += sizeof value;
    return true;
}

bool Equal(const PhraseWords& p, size_t i, const char* word, size_t length) {
    return p.Length(i) == length && std::memcmp(p.Word(i), word, length) == 0;
}

// Cuts the phrase into folded words, by the word rule of the topic's code
// page, and builds the fallback table.
int32_t SplitPhrase(const char* phrase, int32_t codePage, PhraseWords& p) {
    const Folding& f = Fold();
    const unsigned char* word = RtfWordBytes(codePage);
    bool inWord = false;
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(phrase); *s; ++s) {
        if (word[*s]) {
            if (!inWord && !PushOffset(p.offsets, p.text.size)) return BRIO_ERR_NO_MEMORY;
            if (!inWord) ++p.count;
            inWord = true;
            if (RtfIsLeadByte(codePage, *s) && s[1]) {
                // A two-byte character is compared as it stands.
                if (!p.text.Push(static_cast<char>(s[0])) || !p.text.Push(static_cast<char>(s[1])))
                    return BRIO_ERR_NO_MEMORY;
                ++s;
                continue;
            }
            if (!p.text.Push(static_cast<char>(f.upper[*s]))) return BRIO_ERR_NO_MEMORY;
        } else {
            inWord = false;
        }
    }
    if (p.count == 0) return 0;
    if (!PushOffset(p.offsets, p.text.size)) return BRIO_ERR_NO_MEMORY;
    if (!p.fallback.Reserve(p.count * sizeof(size_t))) return BRIO_ERR_NO_MEMORY;
    p.Fallback(0) = 0;
    size_t k = 0;
    for (size_t i = 1; i < p.count; ++i) {
        while (k > 0 && !Equal(p, k, p.Word(i), p.Length(i))) k = p.Fallback(k - 1);
        if (Equal(p, k, p.Word(i), p.Length(i))) ++k;
        p.Fallback(i) = k;
    }
    return 0;
}

class Search {
  public:
    explicit Search(PhraseWords& phrase) : phrase_(phrase) {}

    // Takes one topic word; true when the phrase is now complete.
    bool Feed(const char* word, size_t length) {
        while (matched_ > 0 && !Equal(phrase_, matched_, word, length))
            matched_ = phrase_.Fallback(matched_ - 1);
        if (Equal(phrase_, matched_, word, length)) ++matched_;
        return matched_ == phrase_.count;
    }

  private:
    PhraseWords& phrase_;
    size_t matched_ = 0;
};

// Reads the topic's visible text and feeds its words to the search: not
// destinations, hidden text or references. 1 found, 0 not; the status
// receives the code that stopped the reading, if any.
int32_t Scan(RtfReader& r, Search& search, int32_t* status) {
    const Folding& f = Fold();
    const unsigned char* wordBytes = RtfWordBytes(r.CodePage());
    RtfSpotFinder finder(false);
    const bool doubleByte = RtfIsLeadByte(r.CodePage(), 0x81);
    Bytes word;
    bool begun = false;
    bool hidden = false;
    auto endWord = [&](bool evenEmpty) {
        bool found = false;
        if (begun || evenEmpty) found = search.Feed(word.data, word.size);
        word.size = 0;
        begun = false;
        return found;
    };
    auto addUnit = [&](const RtfUnit& u) -> int32_t {
        if (!RtfUnitIsWordChar(u, wordBytes)) return endWord(false) ? 1 : 0;
        begun = true;
        bool ok =
            u.kind == RtfUnit::kDouble
                ? word.Push(u.content[0]) && word.Push(u.content[1])
                : word.Push(static_cast<char>(f.upper[static_cast<unsigned char>(u.content[0])]));
        return ok ? 0 : -2;
    };
    for (;;) {
        uint32_t tokenStart = r.Offset();
        int32_t rc = r.Next();
        if (rc == -1) return endWord(false) ? 1 : 0;
        if (rc != 0) {
            *status = rc;
            return 0;
        }
        int32_t step = 0;
        switch (r.Kind()) {
            case kRtfText: {
                if (finder.InReference(tokenStart) || r.Length() == 2) break;  // or \-
                unsigned char ch = static_cast<unsigned char>(r.First());
                if (ch == '\\') {
                    if ((rc = finder.Token(r, tokenStart)) != 0) {
                        *status = rc;
                        return 0;
                    }
                    if (finder.InReference(tokenStart)) {
                        // A picture or a context marker: no visible word.
                        step = endWord(false) ? 1 : 0;
                        break;
                    }
                } else if (hidden) {
                    r.SkipPlain(r.PlainRun());  // hidden characters, all of them
                    break;
                } else if (!doubleByte) {
                    // This character and the plain ones after it, in one loop.
                    const unsigned char* p = reinterpret_cast<const unsigned char*>(r.Pos()) - 1;
                    size_t n = 0;
                    for (unsigned char b = ch; RtfIsPlain(b); b = p[++n]) {
                        if (wordBytes[b]) {
                            begun = true;
                            if (!word.Push(static_cast<char>(f.upper[b]))) {
                                step = -2;
                                break;
                            }
                        } else if (begun && endWord(false)) {
                            step = 1;
                            break;
                        }
                    }
                    if (n > 1) r.SkipPlain(n - 1);
                    break;
                }
                RtfUnit unit;
                if ((rc = r.ReadUnit(&unit)) != 0) {
                    *status = rc;
                    return 0;
                }
                if (!hidden) step = addUnit(unit);
                break;
            }
            case kRtfGroup:
                if (r.First() == '{') {
                    r.Push();
                } else if (!r.IsStrayClose()) {
                    r.Pop();
                }
                if ((rc = finder.Token(r, tokenStart)) != 0) {
                    *status = rc;
                    return 0;
                }
                hidden = finder.Hidden(r);
                break;
            case kRtfControlWord:
                if (r.IsSkippedDestination()) {
                    rc = r.CopyGroup(nullptr);
                    if (rc != 0) {
                        *status = rc;
                        return 0;
                    }
                    hidden = finder.Hidden(r);
                    break;
                }
                if ((rc = finder.Token(r, tokenStart)) != 0) {
                    *status = rc;
                    return 0;
                }
                hidden = finder.Hidden(r);
                if (hidden || finder.InReference(tokenStart)) break;
                if (r.Id() == kRtfKwPar) {
                    step = endWord(true) ? 1 : 0;
                } else if (r.Class() == kRtfSymbol) {
                    step = endWord(false) ? 1 : 0;
                }
                break;
            default:
                break;
        }
        if (step == 1) {
            *status = 0;
            return 1;
        }
        if (step == -2) {
            *status = BRIO_ERR_NO_MEMORY;
            return 0;
        }
    }
}

}  // namespace

int32_t TopicFind(const char* rtfText, const char* phrase, int32_t* status) {
    *status = 0;
    if (!rtfText || !phrase) return 0;
    RtfReader reader(rtfText);
    PhraseWords words;
    int32_t rc = SplitPhrase(phrase, reader.CodePage(), words);
    if (rc != 0) {
        *status = rc;
        return 0;
    }
    if (words.count == 0) return 0;
    Search search(words);
    return Scan(reader, search, status);
}

}  // namespace brio
