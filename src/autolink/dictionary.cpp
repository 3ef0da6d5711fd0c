// The word trie of Autolink terms and its walk.
#include "autolink/dictionary.h"

#include <cstring>
#include <utility>

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

// Upper-cases `word` into `stack` when it fits, else into `heap`.
std::string_view UpperCase(std::string_view word, char* stack, size_t stackSize, BrioString* heap) {
    static const UpperTable upper;
    char* out = stack;
    if (word.size() > stackSize) {
        heap->resize(word.size());
        out = &(*heap)[0];
    }
    for (size_t i = 0; i < word.size(); ++i)
        out[i] = static_cast<char>(upper.map[static_cast<unsigned char>(word[i])]);
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
    nodeTerm_.push_back(kNoNode);
    endsTerm_.push_back(0);
    slots_.resize(64);
    wordSlots_.resize(64);
    active_.reserve(8);
    next_.reserve(8);
    active_.push_back(Path{kRootNode, kNoNode, 0});
}

AutolinkDictionary::~AutolinkDictionary() {
    BrioFree(resultBuffer);
}

std::string_view AutolinkDictionary::Word(uint32_t index) const {
    const AutolinkTermNode& n = nodes_[index];
    return std::string_view(words_.data() + n.wordOffset, n.wordLength);
}

uint32_t AutolinkDictionary::WordHash(std::string_view word) {
    uint64_t h = word.size() * 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= word.size(); i += 8) {
        uint64_t chunk;
        std::memcpy(&chunk, word.data() + i, 8);
        h = (h ^ chunk) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    h = (h ^ WordPrefix(word.substr(i))) * 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h);
}

uint64_t AutolinkDictionary::WordPrefix(std::string_view word) {
    uint64_t prefix = 0;
    size_t n = word.size() < 8 ? word.size() : 8;
    for (size_t i = 0; i < n; ++i)
        prefix |= static_cast<uint64_t>(static_cast<unsigned char>(word[i])) << (8 * i);
    return prefix;
}

uint32_t AutolinkDictionary::EdgeHash(uint32_t parent, uint32_t word) {
    uint64_t x = (static_cast<uint64_t>(parent) << 32 | word) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 32;
    x *= 0xFF51AFD7ED558CCDull;
    return static_cast<uint32_t>(x ^ (x >> 32));
}

size_t AutolinkDictionary::WordSlotOf(std::string_view word, uint32_t hash) const {
    size_t mask = wordSlots_.size() - 1;
    uint64_t prefix = WordPrefix(word);
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const WordSlot& s = wordSlots_[i];
        if (s.id == 0) return i;
        if (s.hash == hash && s.length == word.size() && s.prefix == prefix &&
            (word.size() <= 8 ||
             std::memcmp(words_.data() + s.offset + 8, word.data() + 8, word.size() - 8) == 0))
            return i;
    }
}

const AutolinkDictionary::WordSlot* AutolinkDictionary::FindWord(std::string_view word) const {
    const WordSlot& slot = wordSlots_[WordSlotOf(word, WordHash(word))];
    return slot.id ? &slot : nullptr;
}

size_t AutolinkDictionary::InternWord(std::string_view word) {
    uint32_t h = WordHash(word);
    size_t i = WordSlotOf(word, h);
    if (wordSlots_[i].id != 0) return i;
    if (wordCount_ >= (UINT32_MAX >> 1) - 1 || words_.size() + word.size() >= UINT32_MAX)
        throw std::bad_alloc();
    if ((wordCount_ + 1) * 2 > wordSlots_.size()) {
        GrowWords();
        i = WordSlotOf(word, h);
    }
    WordSlot slot;
    slot.hash = h;
    slot.id = static_cast<uint32_t>(++wordCount_);
    slot.offset = static_cast<uint32_t>(words_.size());
    slot.length = static_cast<uint32_t>(word.size());
    slot.prefix = WordPrefix(word);
    try {
        words_.append(word.data(), word.size());
    } catch (...) {
        --wordCount_;
        throw;
    }
    wordSlots_[i] = slot;
    return i;
}

void AutolinkDictionary::GrowWords() {
    BrioVector<WordSlot> grown(wordSlots_.size() * 2);
    size_t mask = grown.size() - 1;
    for (const WordSlot& s : wordSlots_) {
        if (s.id == 0) continue;
        size_t i = s.hash & mask;
        while (grown[i].id != 0) i = (i + 1) & mask;
        grown[i] = s;
    }
    wordSlots_.swap(grown);
}

uint32_t AutolinkDictionary::FindEdge(uint32_t parent, uint32_t word) const {
    uint32_t h = EdgeHash(parent, word);
    if (!filter_.empty() && !FilterHas(h)) return kNoNode;
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const Edge& e = slots_[i];
        if (e.child == 0) return kNoNode;
        if (e.parent == parent && e.word == word) return e.child;
    }
}

uint32_t AutolinkDictionary::Lookup(uint32_t parent, uint32_t caseInsensitive,
                                    std::string_view word) const {
    return Child(parent, FindWord(word), caseInsensitive);
}

void AutolinkDictionary::GrowTable() {
    BrioVector<Edge> grown(slots_.size() * 2);
    size_t mask = grown.size() - 1;
    for (const Edge& e : slots_) {
        if (e.child == 0) continue;
        size_t i = EdgeHash(e.parent, e.word) & mask;
        while (grown[i].child != 0) i = (i + 1) & mask;
        grown[i] = e;
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
    for (const Edge& e : slots_)
        if (e.child != 0) FilterAdd(EdgeHash(e.parent, e.word));
}

uint32_t AutolinkDictionary::AddChild(uint32_t parent, uint32_t caseInsensitive,
                                      std::string_view word) {
    bool atRoot = parent == kRootNode;
    if (!atRoot && (used_ + 1) * 2 > slots_.size()) GrowTable();
    if (nodes_.size() >= kNoNode - 1 || word.size() > UINT32_MAX >> 1) throw std::bad_alloc();
    if (nodes_.size() / 64 >= endsTerm_.size()) endsTerm_.push_back(0);
    // A word left in the table by a later failure is only never used.
    size_t slot = InternWord(word);
    const WordSlot& interned = wordSlots_[slot];
    uint32_t key = (interned.id - 1) << 1 | caseInsensitive;
    AutolinkTermNode node;
    node.parent = parent;
    node.flags = caseInsensitive;
    node.depth = nodes_[parent].depth + 1;
    node.wordOffset = interned.offset;
    node.wordLength = interned.length;
    nodeTerm_.push_back(kNoNode);
    try {
        nodes_.push_back(node);
    } catch (...) {
        nodeTerm_.pop_back();
        throw;
    }
    uint32_t index = static_cast<uint32_t>(nodes_.size() - 1);
    ++(caseInsensitive ? foldedNodes_ : exactNodes_);
    if (atRoot) {
        wordSlots_[slot].root[caseInsensitive] = index;
        return index;
    }
    uint32_t h = EdgeHash(parent, key);
    size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    while (slots_[i].child != 0) i = (i + 1) & mask;
    slots_[i] = Edge{parent, key, index};
    ++used_;
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
               !EqualIgnoreCase(terms_[nodes_[node].term].target, target);
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
    fresh.popup = popup;
    if ((n.flags & FlagEndsTerm) && !EqualIgnoreCase(terms_[n.term].target, target))
        return BRIO_ERR_TERM_CONFLICT;
    if (targets_.size() + target.size() >= UINT32_MAX) throw std::bad_alloc();
    // Bytes of a target that a failure below leaves behind are never read.
    AutolinkTermState state;
    state.popup = popup;
    state.excluded = (flags & FlagExcluded) != 0;
    state.targetOffset = static_cast<uint32_t>(targets_.size());
    state.targetLength = static_cast<uint32_t>(target.size());
    targets_.append(target.data(), target.size());
    if (n.flags & FlagEndsTerm) {
        AutolinkTermState& old = states_[n.term];
        state.primary = old.primary;
        state.lastLinkedPass = old.lastLinkedPass;
        terms_[n.term] = std::move(fresh);
        old = state;
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
        nodes_[node].term = static_cast<uint32_t>(terms_.size() - 1);
        nodeTerm_[node] = nodes_[node].term;
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
    SetPrimary(mainNode, mainNode);
    // An empty synonym ends the list.
    for (;;) {
        size_t semicolon = synonyms.find(';');
        std::string_view synonym = synonyms.substr(0, semicolon);
        if (synonym.empty()) break;
        uint32_t node = kNoNode;
        status = InsertTerm(synonym, registered, extra, popup, flags, &node);
        if (status != BRIO_OK) return status;
        SetPrimary(node, mainNode);
        if (synonyms.size() <= synonym.size() + 1) break;
        synonyms.remove_prefix(synonym.size() + 1);
    }
    return BRIO_OK;
}

void AutolinkDictionary::ResetWalk() {
    active_.clear();
    active_.push_back(Path{kRootNode, kNoNode, 0});
    fallback_ = kNoNode;
    fallbackDepth_ = 0;
    runLength_ = 0;
}

void AutolinkDictionary::OfferFallback(const Path& path) {
    if (path.end == kNoNode) return;
    if (fallback_ == kNoNode || path.endDepth > fallbackDepth_) {
        fallback_ = path.end;
        fallbackDepth_ = path.endDepth;
    }
}

void AutolinkDictionary::MatchWord(std::string_view word, MatchVerdict* verdict, int32_t* count,
                                   std::string_view* target) {
    *count = 0;
    *target = std::string_view();
    ++runLength_;
    if (!word.empty()) {
        char stack[128];
        BrioString heap;
        std::string_view upper;
        if (foldedNodes_) upper = UpperCase(word, stack, sizeof stack, &heap);
        next_.clear();
        const WordSlot* exactWord = exactNodes_ ? FindWord(word) : nullptr;
        const WordSlot* foldedWord = foldedNodes_ ? FindWord(upper) : nullptr;
        uint32_t depth = static_cast<uint32_t>(runLength_);
        // The walk always tries to extend first, so the longest term wins;
        // a path that dies leaves its nearest term end as a fallback.
        for (const Path& path : active_) {
            uint32_t exact = Child(path.node, exactWord, 0);
            uint32_t folded = Child(path.node, foldedWord, FlagCaseInsensitive);
            for (uint32_t child : {exact, folded}) {
                if (child != kNoNode && next_.size() < kMaxPaths)
                    next_.push_back(EndsTerm(child) ? Path{child, child, depth}
                                                    : Path{child, path.end, path.endDepth});
            }
            if (exact == kNoNode && folded == kNoNode) OfferFallback(path);
        }
        if (!next_.empty()) {
            active_.swap(next_);
            *verdict = Continue;
            return;
        }
    } else {
        for (const Path& path : active_) OfferFallback(path);
    }

    uint32_t end = fallback_;
    int32_t run = runLength_;
    int32_t endDepth = static_cast<int32_t>(fallbackDepth_);
    ResetWalk();
    if (end == kNoNode) {
        *verdict = NoMatch;
        return;
    }
    *count = run - endDepth;
    AutolinkTermState& t = states_[nodeTerm_[end]];
    uint32_t primaryNode = t.primary;
    AutolinkTermState& primary =
        primaryNode != kNoNode && EndsTerm(primaryNode) ? states_[nodeTerm_[primaryNode]] : t;
    *target = std::string_view(targets_.data() + t.targetOffset, t.targetLength);
    const BrioString& context = t.popup == 0 ? topicContext : popupContext;
    bool suppressed = t.excluded || (oncePerPass && primary.lastLinkedPass == passCount) ||
                      *target == std::string_view(context.data(), context.size());
    if (suppressed) {
        *verdict = Suppressed;
        return;
    }
    primary.lastLinkedPass = passCount;
    *verdict = t.popup ? LinkPopup : LinkJump;
}
