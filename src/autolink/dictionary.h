// The Autolink term dictionary: a trie whose edges are whole words, so that a
// term of several words ('print setup', 'R&D') is a path of several nodes.
// The writing pass walks it word by word over a topic's text through
// MatchWord.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "brioutil.h"
#include "platform/platform.h"

namespace brio {

// Allocates through the runtime heap with the failure hook, so every
// out-of-memory path of the dictionary can be exercised; failure throws
// std::bad_alloc, which the exports turn into 2005.
template <class T>
struct BrioAllocator {
    using value_type = T;
    BrioAllocator() = default;
    template <class U>
    BrioAllocator(const BrioAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = BrioMalloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { BrioFree(p); }
    template <class U>
    bool operator==(const BrioAllocator<U>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const BrioAllocator<U>&) const {
        return false;
    }
};

template <class T>
using BrioVector = std::vector<T, BrioAllocator<T>>;
using BrioString = std::basic_string<char, std::char_traits<char>, BrioAllocator<char>>;

enum MatchVerdict : int32_t {
    NoMatch = 0,
    Continue = 1,
    LinkJump = 2,
    LinkPopup = 3,
    Suppressed = 4,
};

constexpr uint32_t FlagCaseInsensitive = 1;
constexpr uint32_t FlagEndsTerm = 2;
constexpr uint32_t FlagExcluded = 4;

constexpr uint32_t kNoNode = UINT32_MAX;
constexpr uint32_t kRootNode = 0;

// One node of the trie. Nodes live in one array and name each other by
// index, so the whole trie is released without recursion.
struct AutolinkTermNode {
    uint32_t parent = kNoNode;
    uint32_t flags = 0;
    uint32_t depth = 0;       // words from the root
    uint32_t wordOffset = 0;  // the word that leads here, in the word arena
    uint32_t wordLength = 0;
    uint32_t term = kNoNode;  // index into terms while FlagEndsTerm is set
};

// What a node that ends a term carries.
struct AutolinkTerm {
    BrioString target;
    BrioString extra;
    uint32_t popup = 0;
};

// What a match reads of the term it ends, packed apart from the terms, the
// target's bytes in an arena of their own: one small record per link
// instead of the node, the term and its primary's.
struct AutolinkTermState {
    uint32_t primary = kNoNode;   // node where the reference's main term ends
    int32_t lastLinkedPass = -1;  // read and written on the primary's term only
    uint32_t popup = 0;
    uint32_t excluded = 0;
    uint32_t targetOffset = 0;
    uint32_t targetLength = 0;
};

// Character classes of the term words and the text: letters and digits of
// the C locale; white space for splitting terms.
inline bool IsAlnumByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool IsSpaceByte(unsigned char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

// Splits the first word off `text`: a run of letters and digits, or any one
// other non-space character. Leading and following white space is skipped;
// `text` keeps the rest.
std::string_view SplitWord(std::string_view* text);

}  // namespace brio

// The handle that crosses the export boundary.
struct AutolinkDictionary {
  public:
    AutolinkDictionary();

    // Registers a term below the root; 0 or 2013 (a different target already
    // ends there). Throws std::bad_alloc. *endNode receives where it ends.
    int32_t InsertTerm(std::string_view text, std::string_view target, std::string_view extra,
                       uint32_t popup, uint32_t flags, uint32_t* endNode);
    // The main term and its ";"-separated synonyms; 0 or 2013.
    int32_t AddReference(std::string_view term, std::string_view synonyms, std::string_view target,
                         std::string_view extra, bool exclude, bool caseSensitive, uint32_t popup);

    // The child of `node` that a word of the text leads to: the case-sensitive
    // child spelt exactly so, else the case-insensitive one; brio::kNoNode if none.
    uint32_t FindChild(uint32_t node, std::string_view word) const;

    // One step of the walk. An empty word ends the run. The count is the
    // number of words handed in since the last word of the match, the
    // current one included. On a link verdict *target is the matched term's.
    void MatchWord(std::string_view word, brio::MatchVerdict* verdict, int32_t* count,
                   std::string_view* target);
    // Forgets a walk in progress.
    void ResetWalk();

    const brio::AutolinkTermNode& Node(uint32_t index) const { return nodes_[index]; }
    std::string_view Word(uint32_t index) const;
    const brio::AutolinkTerm& Term(uint32_t index) const { return terms_[index]; }
    size_t NodeCount() const { return nodes_.size(); }

    // Settings of the Autolink call in progress.
    int32_t passCount = 0;
    bool oncePerPass = false;
    brio::BrioString topicContext;
    brio::BrioString popupContext;
    // The last Autolink result, owned here (malloc heap).
    char* resultBuffer = nullptr;

    ~AutolinkDictionary();
    AutolinkDictionary(const AutolinkDictionary&) = delete;
    AutolinkDictionary& operator=(const AutolinkDictionary&) = delete;

  private:
    // Every distinct word of the edges once, by number: a word of the text
    // is found once per position, and the edges below compare numbers.
    // Both tables stay small enough for the cache while the nodes and
    // terms do not.
    struct WordSlot {
        uint32_t hash = 0;
        uint32_t id = 0;      // the word's number + 1; 0 marks an empty slot
        uint64_t prefix = 0;  // its first 8 bytes, zero-padded
        uint32_t offset = 0;  // in the word arena
        uint32_t length = 0;
        // The root's children by this word, exact and case-insensitive (0
        // for none): a text word is looked up at the root more than
        // anywhere else, and there the slot is the edge.
        uint32_t root[2] = {0, 0};
    };
    static_assert(sizeof(WordSlot) == 32, "two slots to a cache line");
    struct Edge {
        uint32_t parent = 0;
        uint32_t word = 0;   // the word's number << 1 | FlagCaseInsensitive
        uint32_t child = 0;  // 0 (the root, never a child) marks an empty slot
    };
    static uint32_t WordHash(std::string_view word);
    static uint64_t WordPrefix(std::string_view word);
    static uint32_t EdgeHash(uint32_t parent, uint32_t word);
    // The slot of the word, or of the empty slot where it would go.
    size_t WordSlotOf(std::string_view word, uint32_t hash) const;
    // The word's slot, null when no edge has the word.
    const WordSlot* FindWord(std::string_view word) const;
    // The word's slot, the word added when new. Throws std::bad_alloc with
    // the tables as they were.
    size_t InternWord(std::string_view word);
    uint32_t FindEdge(uint32_t parent, uint32_t word) const;
    // The child of `parent` by the word (null: none), of either kind.
    uint32_t Child(uint32_t parent, const WordSlot* word, uint32_t caseInsensitive) const {
        if (!word) return brio::kNoNode;
        if (parent == brio::kRootNode) {
            uint32_t child = word->root[caseInsensitive];
            return child ? child : brio::kNoNode;
        }
        return FindEdge(parent, (word->id - 1) << 1 | caseInsensitive);
    }
    uint32_t Lookup(uint32_t parent, uint32_t caseInsensitive, std::string_view word) const;
    uint32_t AddChild(uint32_t parent, uint32_t caseInsensitive, std::string_view word);
    void GrowTable();
    void GrowWords();
    // One path of the walk: where it stands and the deepest node on it that
    // ends a term (brio::kNoNode if none yet), carried along so that a path
    // that dies needs no walk back up the trie.
    // Every path of a walk stands as deep as the words handed in since the
    // walk began, so the depth of its term end is known without the node.
    struct Path {
        uint32_t node;
        uint32_t end;
        uint32_t endDepth;
    };
    bool EndsTerm(uint32_t node) const { return (endsTerm_[node >> 6] >> (node & 63)) & 1; }
    void OfferFallback(const Path& path);

    brio::BrioVector<brio::AutolinkTermNode> nodes_;
    brio::BrioVector<brio::AutolinkTerm> terms_;
    brio::BrioVector<brio::AutolinkTermState> states_;  // one for each term
    brio::BrioString targets_;                          // their targets, back to back
    brio::BrioVector<uint32_t> nodeTerm_;               // each node's term, as nodes_[i].term
    void SetPrimary(uint32_t node, uint32_t primary) {
        states_[nodes_[node].term].primary = primary;
    }
    brio::BrioVector<Edge> slots_;
    brio::BrioVector<WordSlot> wordSlots_;
    brio::BrioString words_;  // the interned words, back to back
    size_t used_ = 0;
    size_t wordCount_ = 0;
    // Nodes below the root of each kind: a walk skips the kind that has none.
    size_t exactNodes_ = 0;
    size_t foldedNodes_ = 0;
    // Most words of a text start no term, and most words after the first
    // word of a term continue none. Once the trie is large, a bit per edge
    // hash answers most of those lookups from a table that stays in the
    // cache, instead of probing the large one. Empty while the trie is small.
    brio::BrioVector<uint64_t> filter_;
    uint32_t filterMask_ = 0;  // bits in the filter, less one
    void BuildFilter(size_t bits);
    void FilterAdd(uint32_t hash) { filter_[(hash & filterMask_) >> 6] |= 1ull << (hash & 63); }
    bool FilterHas(uint32_t hash) const {
        return (filter_[(hash & filterMask_) >> 6] >> (hash & 63)) & 1;
    }

    // The walk: every node the words so far lead to (a text word may follow
    // a case-sensitive and a case-insensitive edge at once), the best term
    // end seen on a path that has already died, and the words handed in.
    brio::BrioVector<Path> active_;
    brio::BrioVector<Path> next_;
    // FlagEndsTerm of every node, a bit each: small enough to stay in the
    // cache while the nodes are not.
    brio::BrioVector<uint64_t> endsTerm_;
    // Where each case-sensitive term ends, by its upper-cased spelling: a
    // case-insensitive term of that spelling matches the same text.
    struct FoldedHash {
        size_t operator()(const brio::BrioString& s) const {
            return std::hash<std::string_view>()(std::string_view(s.data(), s.size()));
        }
    };
    std::unordered_multimap<brio::BrioString, uint32_t, FoldedHash, std::equal_to<brio::BrioString>,
                            brio::BrioAllocator<std::pair<const brio::BrioString, uint32_t>>>
        exactByFolded_;
    // Whether a term of the other letter-case kind matches the same text as
    // `text` with a target other than `target`.
    bool ConflictsAcrossCase(std::string_view text, std::string_view target, uint32_t ci,
                             const brio::BrioString& folded) const;
    uint32_t fallback_ = brio::kNoNode;
    uint32_t fallbackDepth_ = 0;
    int32_t runLength_ = 0;
};
