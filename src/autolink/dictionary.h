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
#include "platform/allocator.h"
#include "platform/platform.h"

namespace brio {

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
    uint32_t wordOffset = 0;  // the word that leads here, in the word arena
    uint32_t wordLength = 0;
};

// What a node that ends a term carries: its strings (the walk reads the
// rest from its AutolinkTermState).
struct AutolinkTerm {
    BrioString target;
    BrioString extra;
};

// What the walk reads of a term to decide on a match, apart from the
// strings: a quarter of a cache line each. (Term-dense text: its share of
// the time 7 % -> 3 %.)
struct AutolinkTermState {
    uint32_t primary = kNoNode;   // node where the reference's main term ends
    int32_t lastLinkedPass = -1;  // read and written on the primary's term only
    uint32_t targetLength = 0;
    bool popup = false;
    bool excluded = false;  // FlagExcluded of its node
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

// The platform's upper case of every byte, asked once.
const unsigned char* UpperMap();
// Upper-cases `word` into `stack` when it fits, else into `heap`.
std::string_view UpperCase(std::string_view word, char* stack, size_t stackSize, BrioString* heap);

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

    // One step of the walk. An empty word ends the run; the 16 bytes from
    // the start of any other must be readable (the word's buffer is that
    // large). The count is the number of words handed in since the last word
    // of the match, the current one included. On a link verdict *term is the
    // matched term.
    void MatchWord(std::string_view word, brio::MatchVerdict* verdict, int32_t* count,
                   const brio::AutolinkTerm** term);
    // The word of the last MatchWord handed in again, after that call ended
    // the walk: it starts a new one from the root without being prepared
    // again. (With one hash per word: term-dense text +9 %.)
    void MatchWordAgain(brio::MatchVerdict* verdict, int32_t* count,
                        const brio::AutolinkTerm** term);
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
    // The last Autolink result, owned here (malloc heap), and its block's size.
    char* resultBuffer = nullptr;
    size_t resultCapacity = 0;
    // Frees the last result and keeps `result` (a block of `capacity` bytes).
    void KeepResult(char* result, size_t capacity);
    // The last result's block for the next run to write over (null if none,
    // or when `rtf` lies in it), taken from the dictionary. (Term-dense text,
    // 16 MB: no fresh pages for each run, +12 %.)
    char* TakeLastResult(const char* rtf, size_t* capacity);

    ~AutolinkDictionary();
    AutolinkDictionary(const AutolinkDictionary&) = delete;
    AutolinkDictionary& operator=(const AutolinkDictionary&) = delete;

  private:
    // A slot holds what a lookup compares, the first 16 bytes of the word
    // included, so that a probe reads one cache line for most words instead
    // of the slot, the node and the word arena.
    struct Key {
        uint64_t prefix[2] = {0, 0};  // the word's first 16 bytes, zero-padded
        uint32_t parent = 0;
        uint32_t lengthCase = 0;  // word length << 1 | FlagCaseInsensitive
    };
    struct Slot {
        // The term the child ends (brio::kNoNode if none): a walk that
        // reaches it finds it in the line it has just read. (Term-dense
        // text +5 %.)
        uint32_t term = brio::kNoNode;
        uint32_t node = 0;  // 0 (the root, never a child) marks an empty slot
        Key key;
    };
    static_assert(sizeof(Slot) == 32, "two slots to a cache line");
    // A word as lookups compare it: its key prefix and a hash of all of it,
    // made once and combined with each parent that the word is tried under;
    // the hash under the root is made at once, as the walk needs it for
    // nearly every word.
    struct WordKey {
        std::string_view text;
        uint64_t prefix[2] = {0, 0};
        uint64_t hash = 0;
        uint32_t rootHash = 0;
        uint32_t caseInsensitive = 0;  // the kind of edge it is looked up as
    };
    // `map` (or null) maps every byte first: the upper case.
    static void MakeWordKey(std::string_view text, const unsigned char* map,
                            uint32_t caseInsensitive, WordKey* key);
    // The key of `text` from its prefix and the hash of all of it.
    static void MakeKey(std::string_view text, uint64_t low, uint64_t high, uint64_t hash,
                        uint32_t caseInsensitive, WordKey* key);
    // The hash of a word of `length` bytes as far as its prefix goes: all of
    // it for a word of at most 16 bytes.
    static uint64_t PrefixHash(uint64_t low, uint64_t high, size_t length) {
        return (low * 0x9E3779B97F4A7C15ull) ^ ((high + length) * 0xC2B2AE3D27D4EB4Full);
    }
    // The same from the prefix, for a word of at most 16 bytes.
    static void MakeShortWordKey(std::string_view text, uint64_t low, uint64_t high,
                                 uint32_t caseInsensitive, WordKey* key) {
        MakeKey(text, low, high, PrefixHash(low, high, text.size()), caseInsensitive, key);
    }
    static uint32_t SlotHash(const WordKey& word, uint32_t parent) {
        uint64_t x = word.hash ^ ((static_cast<uint64_t>(parent) << 1 | word.caseInsensitive) + 1) *
                                     0xFF51AFD7ED558CCDull;
        x ^= x >> 33;
        x *= 0xC4CEB9FE1A85EC53ull;
        x ^= x >> 29;
        return static_cast<uint32_t>(x);
    }

    // The child, and in *term the term it ends.
    uint32_t Lookup(uint32_t parent, const WordKey& word, uint32_t* term) const;
    uint32_t SlotHashOf(const Slot& slot) const;
    Slot* SlotOf(uint32_t node);
    uint32_t Lookup(uint32_t parent, uint32_t caseInsensitive, std::string_view word) const;
    uint32_t AddChild(uint32_t parent, uint32_t caseInsensitive, std::string_view word);
    void GrowTable();
    // One path of the walk: where it stands and the deepest node on it that
    // ends a term (brio::kNoNode if none yet), carried along so that a path
    // that dies needs no walk back up the trie.
    struct Path {
        uint32_t node;
        uint32_t end;
        uint32_t endDepth;  // words from the root to end
        uint32_t endTerm;   // the term end ends
    };
    bool EndsTerm(uint32_t node) const { return (endsTerm_[node >> 6] >> (node & 63)) & 1; }
    void OfferFallback(const Path& path);
    // The word in hand, as spelt and upper-cased (each only while the trie
    // has edges of that kind).
    void PrepareWord(std::string_view word);
    // The same for a short ASCII word at once; false for other words.
    bool PrepareShortWord(std::string_view word);
    // Follows the prepared word from every path; false when all die.
    bool Step();
    bool StepOne();
    Path Advance(const Path& from, uint32_t child, uint32_t term, uint32_t depth) const;
    void EndWalk(brio::MatchVerdict* verdict, int32_t* count, const brio::AutolinkTerm** term);
    WordKey exactWord_;
    WordKey upperWord_;
    char upperStack_[128];
    brio::BrioString upperHeap_;

    brio::BrioVector<brio::AutolinkTermNode> nodes_;
    // The term each node ends (brio::kNoNode if none); the walk has it from
    // the slots instead.
    brio::BrioVector<uint32_t> termOf_;
    brio::BrioVector<brio::AutolinkTerm> terms_;
    brio::BrioVector<brio::AutolinkTermState> states_;  // one to each term
    brio::BrioVector<Slot> slots_;
    brio::BrioString words_;
    size_t used_ = 0;
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
    uint32_t fallbackTerm_ = brio::kNoNode;
    int32_t runLength_ = 0;
};
