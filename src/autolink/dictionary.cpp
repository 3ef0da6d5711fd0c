// The word trie of Autolink terms: the words, the edges' hash table and the
// terms as references register them.
#include "autolink/dictionary.h"

#include <cstring>
#include <utility>

#include "adt/bytes.h"
#include "brioutil.h"
#include "rtf/reader.h"

namespace brio {

namespace {

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

}  // namespace

const unsigned char* UpperMap() {
    static const UpperTable upper;
    return upper.map;
}

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

void AutolinkDictionary::KeepResult(char* result, size_t capacity) {
    BrioFree(resultBuffer);
    resultBuffer = result;
    resultCapacity = capacity;
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
