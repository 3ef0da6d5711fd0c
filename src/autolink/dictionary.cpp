// The word trie of Autolink terms and its walk.
#include "autolink/dictionary.h"

#include <cstring>
#include <utility>

#include "adt/bytes.h"
#include "brioutil.h"
#include "rtf/reader.h"

namespace brio {

namespace {

// Paths followed at once by one walk; only a dictionary built to defeat the
// walk comes near it.
constexpr size_t kMaxPaths = 256;

// Edges from which lookups go through the filter, and its bits per slot of
// the hash table (which has two to four slots per edge).
constexpr size_t kFilterFrom = 2048;
constexpr size_t kFilterBitsPerSlot = 4;

// The steps of the walk, inlined where the compiler would call them: a call
// each for every word of the text. (Term-dense text +10 %.)
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

bool EqualIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (PlatCharUpper(static_cast<unsigned char>(a[i])) !=
            PlatCharUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The platform's upper case of every byte, asked once: the walk folds
// every word of the text.
struct UpperTable {
    unsigned char map[256];
    UpperTable() {
        for (int c = 0; c < 256; ++c) map[c] = PlatCharUpper(static_cast<unsigned char>(c));
    }
};

const unsigned char* UpperMap() {
    static const UpperTable upper;
    return upper.map;
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

// Upper-cases `word` into `stack` when it fits, else into `heap`.
std::string_view UpperCase(std::string_view word, char* stack, size_t stackSize, BrioString* heap) {
    const unsigned char* upper = UpperMap();
    char* out = stack;
    if (word.size() > stackSize) {
        heap->resize(word.size());
        out = &(*heap)[0];
    }
    for (size_t i = 0; i < word.size(); ++i)
        out[i] = static_cast<char>(upper[static_cast<unsigned char>(word[i])]);
    return std::string_view(out, word.size());
}

}  // namespace

std::string_view SplitWord(std::string_view* text) {
    std::string_view t = *text;
    size_t i = 0;
    while (i < t.size() && IsSpaceByte(static_cast<unsigned char>(t[i]))) ++i;
    size_t start = i;
    // Terms are cut by the text's word rule (of a single-byte code page).
    static const unsigned char* const wordBytes = RtfWordBytes(0);
    if (i < t.size()) {
        if (wordBytes[static_cast<unsigned char>(t[i])]) {
            while (i < t.size() && wordBytes[static_cast<unsigned char>(t[i])]) ++i;
        } else {
            ++i;
        }
    }
    std::string_view word = t.substr(start, i - start);
    while (i < t.size() && IsSpaceByte(static_cast<unsigned char>(t[i]))) ++i;
    *text = t.substr(i);
    return word;
}

}  // namespace brio

using namespace brio;

AutolinkDictionary::AutolinkDictionary() {
    nodes_.emplace_back();
    termOf_.push_back(kNoNode);
    endsTerm_.push_back(0);
    slots_.resize(64);
    active_.reserve(8);
    next_.reserve(8);
    active_.push_back(Path{kRootNode, kNoNode, 0, kNoNode});
}

AutolinkDictionary::~AutolinkDictionary() {
    BrioFree(resultBuffer);
}

char* AutolinkDictionary::TakeLastResult(const char* rtf, size_t* capacity) {
    uintptr_t from = reinterpret_cast<uintptr_t>(resultBuffer);
    uintptr_t at = reinterpret_cast<uintptr_t>(rtf);
    if (!resultBuffer || resultCapacity == 0 || (at >= from && at - from < resultCapacity))
        return nullptr;
    char* block = resultBuffer;
    *capacity = resultCapacity;
    resultBuffer = nullptr;
    resultCapacity = 0;
    return block;
}

std::string_view AutolinkDictionary::Word(uint32_t index) const {
    const AutolinkTermNode& n = nodes_[index];
    return std::string_view(words_.data() + n.wordOffset, n.wordLength);
}

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
    MakeShortWordKey(text, low, high, caseInsensitive, key);
    if (n <= sizeof key->prefix) return;
    // Eight bytes at a step instead of one: most words are within the prefix.
    uint64_t h = key->hash;
    for (size_t i = sizeof key->prefix; i < n; i += 8) {
        uint64_t v = 0;
        for (size_t k = i; k < n && k < i + 8; ++k)
            v |= static_cast<uint64_t>(map ? map[p[k]] : p[k]) << (8 * (k - i));
        h = (h ^ (h >> 29) ^ v) * 0x165667B19E3779F9ull;
    }
    key->hash = h;
    key->rootHash = SlotHash(*key, kRootNode);
}

void AutolinkDictionary::MakeShortWordKey(std::string_view text, uint64_t low, uint64_t high,
                                          uint32_t caseInsensitive, WordKey* key) {
    key->text = text;
    key->prefix[0] = low;
    key->prefix[1] = high;
    key->caseInsensitive = caseInsensitive;
    key->hash = (low * 0x9E3779B97F4A7C15ull) ^ ((high + text.size()) * 0xC2B2AE3D27D4EB4Full);
    key->rootHash = SlotHash(*key, kRootNode);
}

uint32_t AutolinkDictionary::SlotHash(const WordKey& word, uint32_t parent) {
    uint64_t x = word.hash ^ ((static_cast<uint64_t>(parent) << 1 | word.caseInsensitive) + 1) *
                                 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 29;
    return static_cast<uint32_t>(x);
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

uint32_t AutolinkDictionary::SlotHashOf(const Slot& slot) const {
    WordKey key;
    MakeWordKey(Word(slot.node), nullptr, slot.key.lengthCase & FlagCaseInsensitive, &key);
    return SlotHash(key, slot.key.parent);
}

AutolinkDictionary::Slot* AutolinkDictionary::SlotOf(uint32_t node) {
    Slot probe;
    probe.node = node;
    probe.key.parent = nodes_[node].parent;
    probe.key.lengthCase = nodes_[node].flags & FlagCaseInsensitive;
    size_t mask = slots_.size() - 1;
    size_t i = SlotHashOf(probe) & mask;
    while (slots_[i].node != node) i = (i + 1) & mask;
    return &slots_[i];
}

void AutolinkDictionary::GrowTable() {
    BrioVector<Slot> grown(slots_.size() * 2);
    size_t mask = grown.size() - 1;
    for (const Slot& s : slots_) {
        if (s.node == 0) continue;
        size_t i = SlotHashOf(s) & mask;
        while (grown[i].node != 0) i = (i + 1) & mask;
        grown[i] = s;
    }
    slots_.swap(grown);
    if (!filter_.empty()) BuildFilter(slots_.size() * kFilterBitsPerSlot);
}

void AutolinkDictionary::BuildFilter(size_t bits) {
    // A filter that misses an edge would hide it, so one that cannot be
    // built is dropped, never left stale.
    BrioVector<uint64_t> built;
    try {
        built.assign(bits / 64, 0);
    } catch (const std::bad_alloc&) {
        BrioVector<uint64_t>().swap(filter_);
        return;
    }
    filter_.swap(built);
    filterMask_ = static_cast<uint32_t>(bits - 1);
    for (const Slot& slot : slots_)
        if (slot.node != 0) FilterAdd(SlotHashOf(slot));
}

uint32_t AutolinkDictionary::AddChild(uint32_t parent, uint32_t caseInsensitive,
                                      std::string_view word) {
    if ((used_ + 1) * 2 > slots_.size()) GrowTable();
    if (nodes_.size() >= kNoNode - 1 || words_.size() + word.size() >= UINT32_MAX ||
        word.size() > UINT32_MAX >> 1)
        throw std::bad_alloc();
    if (nodes_.size() / 64 >= endsTerm_.size()) endsTerm_.push_back(0);
    AutolinkTermNode node;
    node.parent = parent;
    node.flags = caseInsensitive;
    node.wordOffset = static_cast<uint32_t>(words_.size());
    node.wordLength = static_cast<uint32_t>(word.size());
    termOf_.push_back(kNoNode);
    try {
        nodes_.push_back(node);
    } catch (...) {
        termOf_.pop_back();
        throw;
    }
    try {
        words_.append(word.data(), word.size());
    } catch (...) {
        nodes_.pop_back();
        termOf_.pop_back();
        throw;
    }
    uint32_t index = static_cast<uint32_t>(nodes_.size() - 1);
    WordKey key;
    MakeWordKey(word, nullptr, caseInsensitive, &key);
    uint32_t h = SlotHash(key, parent);
    size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    while (slots_[i].node != 0) i = (i + 1) & mask;
    Slot& slot = slots_[i];
    slot.term = kNoNode;
    slot.node = index;
    slot.key.prefix[0] = key.prefix[0];
    slot.key.prefix[1] = key.prefix[1];
    slot.key.parent = parent;
    slot.key.lengthCase = static_cast<uint32_t>(word.size() << 1 | caseInsensitive);
    ++used_;
    ++(caseInsensitive ? foldedNodes_ : exactNodes_);
    if (!filter_.empty())
        FilterAdd(h);
    else if (used_ >= kFilterFrom)
        BuildFilter(slots_.size() * kFilterBitsPerSlot);
    return index;
}

uint32_t AutolinkDictionary::FindChild(uint32_t node, std::string_view word) const {
    uint32_t child = Lookup(node, 0, word);
    if (child != kNoNode) return child;
    char stack[128];
    BrioString heap;
    return Lookup(node, FlagCaseInsensitive, UpperCase(word, stack, sizeof stack, &heap));
}

namespace {

// A term's words upper-cased, one blank between them.
BrioString FoldedSpelling(std::string_view text) {
    BrioString folded;
    char stack[128];
    BrioString heap;
    for (std::string_view word = SplitWord(&text); !word.empty(); word = SplitWord(&text)) {
        if (!folded.empty()) folded += ' ';
        std::string_view upper = UpperCase(word, stack, sizeof stack, &heap);
        folded.append(upper.data(), upper.size());
    }
    return folded;
}

}  // namespace

bool AutolinkDictionary::ConflictsAcrossCase(std::string_view text, std::string_view target,
                                             uint32_t ci, const BrioString& folded) const {
    auto differs = [&](uint32_t node) {
        return node != kNoNode && EndsTerm(node) &&
               !EqualIgnoreCase(terms_[termOf_[node]].target, target);
    };
    if (ci) {
        if (exactByFolded_.empty()) return false;
        auto range = exactByFolded_.equal_range(folded);
        for (auto it = range.first; it != range.second; ++it)
            if (differs(it->second)) return true;
        return false;
    }
    // The case-insensitive path of the same words, if there is one.
    if (foldedNodes_ == 0) return false;
    uint32_t node = kRootNode;
    char stack[128];
    BrioString heap;
    for (std::string_view word = SplitWord(&text); !word.empty(); word = SplitWord(&text)) {
        node = Lookup(node, FlagCaseInsensitive, UpperCase(word, stack, sizeof stack, &heap));
        if (node == kNoNode) return false;
    }
    return node != kRootNode && differs(node);
}

int32_t AutolinkDictionary::InsertTerm(std::string_view text, std::string_view target,
                                       std::string_view extra, uint32_t popup, uint32_t flags,
                                       uint32_t* endNode) {
    // A case-sensitive term follows only edges spelt exactly as its words, a
    // case-insensitive one only upper-cased edges: neither can change how
    // the other kind matches.
    uint32_t ci = flags & FlagCaseInsensitive;
    // Text that both kinds match can link to one target only.
    BrioString folded;
    if (!ci || !exactByFolded_.empty()) folded = FoldedSpelling(text);
    if (ConflictsAcrossCase(text, target, ci, folded)) return BRIO_ERR_TERM_CONFLICT;
    uint32_t node = kRootNode;
    char stack[128];
    BrioString heap;
    for (;;) {
        std::string_view word = SplitWord(&text);
        if (word.empty()) break;
        std::string_view key = ci ? UpperCase(word, stack, sizeof stack, &heap) : word;
        uint32_t child = Lookup(node, ci, key);
        if (child == kNoNode) child = AddChild(node, ci, key);
        node = child;
    }
    const AutolinkTermNode& n = nodes_[node];
    AutolinkTerm fresh;
    fresh.target.assign(target.data(), target.size());
    fresh.extra.assign(extra.data(), extra.size());
    AutolinkTermState state;
    state.targetLength = static_cast<uint32_t>(target.size());
    state.popup = popup != 0;
    state.excluded = (flags & FlagExcluded) != 0;
    if (n.flags & FlagEndsTerm) {
        uint32_t index = termOf_[node];
        if (!EqualIgnoreCase(terms_[index].target, target)) return BRIO_ERR_TERM_CONFLICT;
        state.primary = states_[index].primary;
        state.lastLinkedPass = states_[index].lastLinkedPass;
        terms_[index] = std::move(fresh);
        states_[index] = state;
    } else {
        if (terms_.size() >= kNoNode - 1) throw std::bad_alloc();
        // Indexed first: an entry whose node ends no term is ignored.
        if (!ci && node != kRootNode) exactByFolded_.emplace(std::move(folded), node);
        states_.push_back(state);
        try {
            terms_.push_back(std::move(fresh));
        } catch (...) {
            states_.pop_back();
            throw;
        }
        termOf_[node] = static_cast<uint32_t>(terms_.size() - 1);
        if (node != kRootNode) SlotOf(node)->term = termOf_[node];
    }
    // Old flags are replaced; the case flag cannot change, since the node
    // was reached through edges of the same kind.
    nodes_[node].flags = (flags & (FlagCaseInsensitive | FlagExcluded)) | FlagEndsTerm;
    endsTerm_[node >> 6] |= 1ull << (node & 63);
    *endNode = node;
    return BRIO_OK;
}

int32_t AutolinkDictionary::AddReference(std::string_view term, std::string_view synonyms,
                                         std::string_view target, std::string_view extra,
                                         bool exclude, bool caseSensitive, uint32_t popup) {
    std::string_view registered = exclude ? std::string_view() : target;
    uint32_t flags = (caseSensitive ? 0 : FlagCaseInsensitive) | (exclude ? FlagExcluded : 0);
    uint32_t mainNode = kNoNode;
    int32_t status = InsertTerm(term, registered, extra, popup, flags, &mainNode);
    if (status != BRIO_OK) return status;
    states_[termOf_[mainNode]].primary = mainNode;
    // An empty synonym ends the list.
    for (;;) {
        size_t semicolon = synonyms.find(';');
        std::string_view synonym = synonyms.substr(0, semicolon);
        if (synonym.empty()) break;
        uint32_t node = kNoNode;
        status = InsertTerm(synonym, registered, extra, popup, flags, &node);
        if (status != BRIO_OK) return status;
        states_[termOf_[node]].primary = mainNode;
        if (synonyms.size() <= synonym.size() + 1) break;
        synonyms.remove_prefix(synonym.size() + 1);
    }
    return BRIO_OK;
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
    // the platform's upper case is ASCII's. (Term-dense text +X %.)
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
