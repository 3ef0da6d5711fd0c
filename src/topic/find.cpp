// TopicFindText: whether the words of a phrase occur, in order, as
// consecutive words of a topic's visible text. Words are compared whole and
// without regard to case; the search keeps a partial-match table over the
// phrase words, so it never re-reads the RTF and has no word or phrase limit.
#include <cstring>

#include "brioutil.h"
#include "frame/guard.h"
#include "platform/platform.h"
#include "rtf/rtf.h"

namespace brio {

namespace {

struct Folding {
    unsigned char upper[256];
    bool word[256];
    Folding() {
        for (int b = 0; b < 256; ++b) {
            upper[b] = PlatCharUpper(static_cast<unsigned char>(b));
            // Bytes of the code page's upper half are letters of some
            // language; treat them as word characters throughout.
            word[b] = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                      b >= 0x80;
        }
    }
};

const Folding& Fold() {
    static const Folding folding;
    return folding;
}

int HexValue(int ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
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
    Bytes text;       // the folded words, back to back
    Bytes offsets;    // size_t start of each word, then the end
    Bytes fallback;   // size_t partial-match table
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

// Cuts the phrase into folded words and builds the fallback table.
int32_t SplitPhrase(const char* phrase, PhraseWords& p) {
    const Folding& f = Fold();
    bool inWord = false;
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(phrase); *s; ++s) {
        if (f.word[*s]) {
            if (!inWord && !PushOffset(p.offsets, p.text.size)) return BRIO_ERR_NO_MEMORY;
            if (!inWord) ++p.count;
            inWord = true;
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

// Reads the topic and feeds its words to the search. 1 found, 0 not; the
// status receives the code that stopped the reading, if any.
int32_t Scan(RtfContext* c, Search& search, int32_t* status) {
    const Folding& f = Fold();
    Bytes word;
    bool begun = false;
    bool afterBackslash = false;
    auto endWord = [&](bool evenEmpty) {
        bool found = false;
        if (begun || evenEmpty) found = search.Feed(word.data, word.size);
        word.size = 0;
        begun = false;
        return found;
    };
    auto addByte = [&](unsigned char b) -> int32_t {
        if (!f.word[b]) return endWord(false) ? 1 : 0;
        begun = true;
        return word.Push(static_cast<char>(f.upper[b])) ? 0 : -2;
    };
    for (;;) {
        int32_t rc = RtfNextToken(c);
        if (rc == -1) return endWord(false) ? 1 : 0;
        if (rc != 0) {
            *status = rc;
            return 0;
        }
        int32_t step = 0;
        switch (c->tokenKind) {
            case kRtfText: {
                unsigned char ch = static_cast<unsigned char>(c->tokenText[0]);
                if (afterBackslash) {
                    afterBackslash = false;
                    if (ch == '\'') {
                        // A hexadecimal escape stands for its byte.
                        int h1 = RtfGetChar(c);
                        int v1 = HexValue(h1);
                        if (v1 < 0) {
                            RtfUngetChar(c, h1);
                            step = addByte(ch);
                            break;
                        }
                        int h2 = RtfGetChar(c);
                        int v2 = HexValue(h2);
                        if (v2 < 0) {
                            RtfUngetChar(c, h2);
                            step = addByte(static_cast<unsigned char>(v1));
                        } else {
                            step = addByte(static_cast<unsigned char>(v1 * 16 + v2));
                        }
                        break;
                    }
                    step = addByte(ch);
                    break;
                }
                if (ch == '\\') {
                    // "\-" is the optional hyphen, invisible inside a word.
                    if (c->tokenLength == 1) afterBackslash = true;
                    break;
                }
                step = addByte(ch);
                break;
            }
            case kRtfGroup:
                if (c->tokenText[0] == '{') {
                    rc = RtfPushGroup(c);
                    if (rc != 0) {
                        *status = rc;
                        return 0;
                    }
                } else {
                    RtfPopGroup(c);
                }
                break;
            case kRtfControlWord:
                if (c->keywordClass == kRtfDestination && c->depth >= 2) {
                    rc = RtfCopyGroup(c);
                    if (rc != 0) {
                        *status = rc;
                        return 0;
                    }
                } else if (c->keywordId == kRtfIdPar) {
                    step = endWord(true) ? 1 : 0;
                } else if (c->keywordClass == kRtfSymbol) {
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

}  // namespace brio

static int32_t TopicFindTextBody(const char* rtfText, const char* phrase, int32_t* status) {
    using namespace brio;
    int32_t localStatus = 0;
    if (!status) status = &localStatus;
    *status = 0;
    if (!rtfText || !phrase) return 0;
    PhraseWords words;
    int32_t rc = SplitPhrase(phrase, words);
    if (rc != 0) {
        *status = rc;
        return 0;
    }
    if (words.count == 0) return 0;
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = rtfText;
    c.inIsString = 1;
    c.outIsBuffer = 1;  // and no buffer: nothing is written
    Search search(words);
    int32_t found = Scan(&c, search, status);
    RtfFreeContext(&c);
    return found;
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicFindText(const char* rtfText, const char* phrase,
                                                         int32_t* status) {
    return brio::GuardExport([&] { return TopicFindTextBody(rtfText, phrase, status); },
                             [&] {
                                 if (status) *status = BRIO_ERR_NO_MEMORY;
                                 return int32_t{0};
                             });
}
