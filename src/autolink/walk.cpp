// The walk of the term trie over a text's words, and the lookups it makes.
#include <cstring>

#include "adt/bytes.h"
#include "autolink/dictionary.h"

namespace brio {

namespace {

// Paths followed at once by one walk; only a dictionary built to defeat the
// walk comes near it.
constexpr size_t kMaxPaths = 256;

// The steps of the walk, inlined where the compiler would call them: a call
// each for every word of the text. (Term-dense text +4 to +9 %.)
#if defined(__GNUC__) || defined(__clang__)
#define BRIO_WALK_INLINE __attribute__((always_inline)) inline
#elif defined(_MSC_VER)
#define BRIO_WALK_INLINE __forceinline
#else
#define BRIO_WALK_INLINE inline
#endif

// Asks for a cache line ahead of its use, where the compiler can.
inline void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// Whether the platform upper-cases the bytes below 0x80 as ASCII does.
bool UpperIsAscii() {
    static const bool ascii = [] {
        const unsigned char* upper = UpperMap();
        for (int c = 0; c < 0x80; ++c)
            if (upper[c] != (c >= 'a' && c <= 'z' ? c - 32 : c)) return false;
        return true;
    }();
    return ascii;
}

}  // namespace

}  // namespace brio

using namespace brio;

void AutolinkDictionary::MakeWordKey(std::string_view text, const unsigned char* map,
                                     uint32_t caseInsensitive, WordKey* key) {
    size_t n = text.size();
    // The prefix is gathered in registers: bytes stored one by one and read
    // back as a word stall the load. (With the field-by-field compare:
    // term-dense text +3 %.)
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    uint64_t low = 0, high = 0;
    size_t lowEnd = n < 8 ? n : 8, highEnd = n < 16 ? n : 16;
    for (size_t i = 0; i < lowEnd; ++i)
        low |= static_cast<uint64_t>(map ? map[p[i]] : p[i]) << (8 * i);
    for (size_t i = 8; i < highEnd; ++i)
        high |= static_cast<uint64_t>(map ? map[p[i]] : p[i]) << (8 * (i - 8));
    // Eight bytes at a step instead of one: most words are within the prefix.
    uint64_t h = PrefixHash(low, high, n);
    for (size_t i = sizeof key->prefix; i < n; i += 8) {
        uint64_t v = 0;
        for (size_t k = i; k < n && k < i + 8; ++k)
            v |= static_cast<uint64_t>(map ? map[p[k]] : p[k]) << (8 * (k - i));
        h = (h ^ (h >> 29) ^ v) * 0x165667B19E3779F9ull;
    }
    MakeKey(text, low, high, h, caseInsensitive, key);
}

void AutolinkDictionary::MakeKey(std::string_view text, uint64_t low, uint64_t high, uint64_t hash,
                                 uint32_t caseInsensitive, WordKey* key) {
    key->text = text;
    key->prefix[0] = low;
    key->prefix[1] = high;
    key->caseInsensitive = caseInsensitive;
    key->hash = hash;
    key->rootHash = SlotHash(*key, kRootNode);
}

BRIO_WALK_INLINE uint32_t AutolinkDictionary::Lookup(uint32_t parent, const WordKey& word,
                                                     uint32_t* term) const {
    uint32_t h = parent == kRootNode ? word.rootHash : SlotHash(word, parent);
    if (!filter_.empty() && !FilterHas(h)) return kNoNode;
    const uint64_t low = word.prefix[0], high = word.prefix[1];
    const uint32_t lengthCase = static_cast<uint32_t>(word.text.size() << 1 | word.caseInsensitive);
    constexpr size_t skip = sizeof word.prefix;
    size_t n = word.text.size();
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.node == 0) return kNoNode;
        // Field by field: a key put together on the stack stalls the compare.
        if (s.key.prefix[0] != low || s.key.prefix[1] != high || s.key.parent != parent ||
            s.key.lengthCase != lengthCase)
            continue;
        if (n <= skip || std::memcmp(words_.data() + nodes_[s.node].wordOffset + skip,
                                     word.text.data() + skip, n - skip) == 0) {
            *term = s.term;
            return s.node;
        }
    }
}

uint32_t AutolinkDictionary::Lookup(uint32_t parent, uint32_t caseInsensitive,
                                    std::string_view word) const {
    WordKey key;
    MakeWordKey(word, nullptr, caseInsensitive, &key);
    uint32_t term = kNoNode;
    return Lookup(parent, key, &term);
}

void AutolinkDictionary::ResetWalk() {
    active_.clear();
    active_.push_back(Path{kRootNode, kNoNode, 0, kNoNode});
    fallback_ = kNoNode;
    fallbackDepth_ = 0;
    fallbackTerm_ = kNoNode;
    runLength_ = 0;
}

void AutolinkDictionary::OfferFallback(const Path& path) {
    if (path.end == kNoNode) return;
    if (fallback_ == kNoNode || path.endDepth > fallbackDepth_) {
        fallback_ = path.end;
        fallbackDepth_ = path.endDepth;
        fallbackTerm_ = path.endTerm;
    }
}

BRIO_WALK_INLINE bool AutolinkDictionary::PrepareShortWord(std::string_view word) {
    // Eight bytes at a time, ASCII letters upper-cased by arithmetic, where
    // the platform's upper case is ASCII's. (Term-dense text +3 %.)
    size_t n = word.size();
    if (n > 16 || !UpperIsAscii()) return false;
    uint64_t low = GetU64(word.data(), 0);
    uint64_t high = GetU64(word.data(), 8);
    low &= n >= 8 ? ~0ull : (1ull << (8 * n)) - 1;
    high &= n >= 16 ? ~0ull : n <= 8 ? 0 : (1ull << (8 * (n - 8))) - 1;
    if ((low | high) & kHighBits) return false;
    if (exactNodes_) MakeShortWordKey(word, low, high, 0, &exactWord_);
    if (foldedNodes_)
        MakeShortWordKey(word, UpperAscii8(low), UpperAscii8(high), FlagCaseInsensitive,
                         &upperWord_);
    return true;
}

void AutolinkDictionary::PrepareWord(std::string_view word) {
    if (!PrepareShortWord(word)) {
        if (exactNodes_) MakeWordKey(word, nullptr, 0, &exactWord_);
        // Only a word longer than the prefix needs its upper case spelt out.
        if (foldedNodes_ && word.size() <= sizeof upperWord_.prefix)
            MakeWordKey(word, UpperMap(), FlagCaseInsensitive, &upperWord_);
        else if (foldedNodes_)
            MakeWordKey(UpperCase(word, upperStack_, sizeof upperStack_, &upperHeap_), nullptr,
                        FlagCaseInsensitive, &upperWord_);
    }
    // A walk under way mostly ends at this word, which then starts the next
    // one from the root: its slot is fetched while the walk is looked up.
    if (active_.size() == 1 && active_[0].node == kRootNode) return;
    size_t mask = slots_.size() - 1;
    for (uint32_t ci = 0; ci <= FlagCaseInsensitive; ++ci) {
        if (!(ci ? foldedNodes_ : exactNodes_)) continue;
        // Asked for without waiting on the filter, which may miss too. (With
        // paths built in registers: term-dense text +13 %.)
        uint32_t h = (ci ? upperWord_ : exactWord_).rootHash;
        if (!filter_.empty()) Prefetch(&filter_[(h & filterMask_) >> 6]);
        Prefetch(&slots_[h & mask]);
    }
}

AutolinkDictionary::Path AutolinkDictionary::Advance(const Path& from, uint32_t child,
                                                     uint32_t term, uint32_t depth) const {
    if (term == kNoNode) return Path{child, from.end, from.endDepth, from.endTerm};
    // A walk that ends here reads the term: it is on its way meanwhile.
    Prefetch(&states_[term]);
    Prefetch(&terms_[term].target);
    return Path{child, child, depth, term};
}

BRIO_WALK_INLINE bool AutolinkDictionary::StepOne() {
    Path& path = active_[0];
    uint32_t exactTerm = kNoNode, foldedTerm = kNoNode;
    uint32_t exact = exactNodes_ ? Lookup(path.node, exactWord_, &exactTerm) : kNoNode;
    uint32_t folded = foldedNodes_ ? Lookup(path.node, upperWord_, &foldedTerm) : kNoNode;
    if (exact == kNoNode && folded == kNoNode) {
        OfferFallback(path);
        return false;
    }
    const uint32_t depth = static_cast<uint32_t>(runLength_);
    const Path from = path;
    // The path moves on in place, built in registers (a path put together
    // in memory and copied stalls the copy); a second one is rare.
    if (exact == kNoNode) {
        active_[0] = Advance(from, folded, foldedTerm, depth);
        return true;
    }
    active_[0] = Advance(from, exact, exactTerm, depth);
    if (folded != kNoNode) active_.push_back(Advance(from, folded, foldedTerm, depth));
    return true;
}

BRIO_WALK_INLINE bool AutolinkDictionary::Step() {
    // Mostly one path, followed without the second list. (With the scan's
    // footnote runs and word copies without calls: term-dense text +3 %.)
    if (active_.size() == 1) return StepOne();
    next_.clear();
    // The walk always tries to extend first, so the longest term wins; a
    // path that dies leaves its nearest term end as a fallback.
    const uint32_t depth = static_cast<uint32_t>(runLength_);
    for (const Path& path : active_) {
        uint32_t terms[2] = {kNoNode, kNoNode};
        uint32_t exact = exactNodes_ ? Lookup(path.node, exactWord_, &terms[0]) : kNoNode;
        uint32_t folded = foldedNodes_ ? Lookup(path.node, upperWord_, &terms[1]) : kNoNode;
        for (int k = 0; k < 2; ++k) {
            uint32_t child = k ? folded : exact;
            if (child == kNoNode || next_.size() >= kMaxPaths) continue;
            next_.push_back(Advance(path, child, terms[k], depth));
        }
        if (exact == kNoNode && folded == kNoNode) OfferFallback(path);
    }
    if (next_.empty()) return false;
    active_.swap(next_);
    return true;
}

void AutolinkDictionary::MatchWord(std::string_view word, MatchVerdict* verdict, int32_t* count,
                                   const AutolinkTerm** term) {
    *count = 0;
    *term = nullptr;
    ++runLength_;
    if (!word.empty()) {
        PrepareWord(word);
        if (Step()) {
            *verdict = Continue;
            return;
        }
    } else {
        for (const Path& path : active_) OfferFallback(path);
    }
    EndWalk(verdict, count, term);
}

void AutolinkDictionary::MatchWordAgain(MatchVerdict* verdict, int32_t* count,
                                        const AutolinkTerm** term) {
    *count = 0;
    *term = nullptr;
    ++runLength_;
    if (Step()) {
        *verdict = Continue;
        return;
    }
    EndWalk(verdict, count, term);
}

void AutolinkDictionary::EndWalk(MatchVerdict* verdict, int32_t* count, const AutolinkTerm** term) {
    uint32_t end = fallback_;
    uint32_t depth = fallbackDepth_;
    uint32_t endTerm = fallbackTerm_;
    int32_t run = runLength_;
    ResetWalk();
    if (end == kNoNode) {
        *verdict = NoMatch;
        return;
    }
    *count = run - static_cast<int32_t>(depth);
    AutolinkTermState& t = states_[endTerm];
    uint32_t primaryNode = t.primary;
    AutolinkTermState& primary =
        (primaryNode != kNoNode && primaryNode != end && EndsTerm(primaryNode))
            ? states_[termOf_[primaryNode]]
            : t;
    *term = &terms_[endTerm];
    // The target is read only when its length matches the context's.
    const BrioString& context = t.popup ? popupContext : topicContext;
    bool suppressed = t.excluded || (oncePerPass && primary.lastLinkedPass == passCount) ||
                      (t.targetLength == context.size() && terms_[endTerm].target == context);
    if (suppressed) {
        *verdict = Suppressed;
        return;
    }
    primary.lastLinkedPass = passCount;
    *verdict = t.popup ? LinkPopup : LinkJump;
}
