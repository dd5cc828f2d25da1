#include "payment_walk.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorin::detail {
namespace {

// The remaining positive quotients are cut into batches this many times
// before they are simply sorted, which bounds the work of an unlucky walk.
constexpr int max_batches = 8;

struct Walk {
    const Election& election;
    const std::vector<double>& budget;
    const double cost;
    double paid;
    double denominator;

    double payment() const { return (cost - paid) / denominator; }

    // The maximum payment if this supporter can bear a full share;
    // otherwise it gives its whole budget and the walk goes on.
    std::optional<double> visit(std::size_t pair) {
        const double utility = election.pair_utility[pair];
        const double voter_budget = budget[election.pair_voter[pair]];
        const double share = payment();
        if (utility * share > voter_budget) {
            paid = paid + voter_budget;
            denominator = denominator - utility;
            return std::nullopt;
        }
        return share;
    }
};

// A function object rather than a function, so that sorting inlines it.
struct WalksBefore {
    bool operator()(const WalkEntry& a, const WalkEntry& b) const {
        return a.quotient < b.quotient || (a.quotient == b.quotient && a.position < b.position);
    }
};

template <class Iterator>
std::optional<double> visit_in_order(Iterator begin, Iterator end, Walk& walk) {
    for (; begin != end; ++begin) {
        if (const auto payment = walk.visit(begin->position)) {
            return payment;
        }
    }
    return std::nullopt;
}

template <class Iterator>
std::optional<double> visit_sorted(Iterator begin, Iterator end, Walk& walk) {
    std::sort(begin, end, WalksBefore{});
    return visit_in_order(begin, end, walk);
}

// Below this many entries, comparison sorting is the cheaper.
constexpr std::size_t least_for_radix = 64;

// The bytes of the radix sort's key, lowest first: the pair's offset within
// the candidate's pairs (fewer than 2^32, as voters are), then the
// quotient's bit pattern.
constexpr int offset_bytes = 4;
constexpr int quotient_bytes = 8;

inline std::uint64_t bits_of(const WalkEntry& entry) {
    std::uint64_t bits;
    std::memcpy(&bits, &entry.quotient, sizeof bits);
    return bits;
}

using ByteCounts = std::uint32_t[256];

// Counts each byte of `key` over the entries, the lowest `bytes` of it.
template <int bytes, class Key>
void count_bytes(const WalkEntry* begin, const WalkEntry* end, ByteCounts* counts, Key&& key) {
    for (const WalkEntry* entry = begin; entry != end; ++entry) {
        const std::uint64_t value = key(*entry);
        for (int byte = 0; byte < bytes; ++byte) {
            ++counts[byte][(value >> (8 * byte)) & 0xffU];
        }
    }
}

// One stable pass of the radix sort, by the byte at `shift` of `key`,
// from `from` into `to`; false, moving nothing, where every entry shares
// that byte.
template <class Key>
bool sort_pass(const WalkEntry* from, WalkEntry* to, std::size_t count, ByteCounts& counts, unsigned shift,
               Key&& key) {
    if (counts[(key(*from) >> shift) & 0xffU] == count) {
        return false;
    }
    std::uint32_t offset = 0;
    for (std::uint32_t& here : counts) {
        const std::uint32_t entries_here = here;
        here = offset;
        offset += entries_here;
    }
    for (const WalkEntry* entry = from; entry != from + count; ++entry) {
        to[counts[(key(*entry) >> shift) & 0xffU]++] = *entry;
    }
    return true;
}

// Sorts entries of positive quotients into walk order. Positive doubles
// (infinity too) order as their bit patterns do, so a stable radix sort of
// the key, byte by byte from the lowest, gives ascending quotients, equal
// ones in pair order; entries already in pair order skip the offset's
// bytes, and bytes that every entry shares (the quotients' top ones,
// mostly) are skipped.
void sort_positive_into_walk_order(WalkEntry* const begin, WalkEntry* const end, std::size_t first_pair,
                                   bool in_pair_order, std::vector<WalkEntry>& scratch) {
    const auto count = static_cast<std::size_t>(end - begin);
    if (count < least_for_radix) {
        std::sort(begin, end, WalksBefore{});
        return;
    }
    if (scratch.size() < count) {
        scratch.resize(count);
    }
    const auto offset = [first_pair](const WalkEntry& entry) -> std::uint64_t { return entry.position - first_pair; };
    ByteCounts offset_counts[offset_bytes] = {};
    ByteCounts quotient_counts[quotient_bytes] = {};
    if (!in_pair_order) {
        count_bytes<offset_bytes>(begin, end, offset_counts, offset);
    }
    count_bytes<quotient_bytes>(begin, end, quotient_counts, bits_of);
    WalkEntry* from = begin;
    WalkEntry* to = scratch.data();
    const auto pass = [&](ByteCounts& counts, int byte, auto&& key) {
        if (sort_pass(from, to, count, counts, 8U * static_cast<unsigned>(byte), key)) {
            std::swap(from, to);
        }
    };
    for (int byte = 0; byte < offset_bytes && !in_pair_order; ++byte) {
        pass(offset_counts[byte], byte, offset);
    }
    for (int byte = 0; byte < quotient_bytes; ++byte) {
        pass(quotient_counts[byte], byte, bits_of);
    }
    if (from != begin) {
        std::copy(from, from + count, begin);
    }
}

// Walks usually stop soon, so the entries are not sorted whole. Each batch
// is the entries whose quotient lies below the current payment (in
// well-formed input, those cannot bear it), or else the single least entry;
// only the batch is sorted. A batch precedes every entry left behind it, so
// the visiting order is exactly the sorted order.
std::optional<double> visit_in_batches(WalkEntry* next, WalkEntry* const end, std::size_t first_pair,
                                       Walk& walk, std::vector<WalkEntry>& scratch) {
    // The least entry left behind by the last pass, while it is known.
    auto least = end;
    for (int batch = 0; next != end; ++batch) {
        auto batch_end = end;
        const double payment = walk.payment();
        if (least != end && !(least->quotient < payment)) {
            // No entry left lies below the payment: the least one is next.
            std::iter_swap(next, least);
            batch_end = next + 1;
            least = end;
        } else if (batch == max_batches) {
            sort_positive_into_walk_order(next, end, first_pair, false, scratch);
        } else {
            // One pass moves the batch to the front and finds the least of
            // the entries left behind.
            batch_end = next;
            least = end;
            for (auto it = next; it != end; ++it) {
                if (it->quotient < payment) {
                    std::iter_swap(it, batch_end);
                    if (least == batch_end) {
                        least = it;
                    }
                    ++batch_end;
                } else if (least == end || WalksBefore{}(*it, *least)) {
                    least = it;
                }
            }
            if (batch_end == next) {
                std::iter_swap(next, least);
                batch_end = next + 1;
                least = end;
            } else {
                sort_positive_into_walk_order(next, batch_end, first_pair, false, scratch);
            }
        }
        for (; next != batch_end; ++next) {
            if (const auto payment = walk.visit(next->position)) {
                return payment;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

Examination examine(const Election& election, const Candidate& candidate,
                    const std::vector<double>& budget, WalkBuffers& buffers) {
    const std::size_t supporters = candidate.end_pair - candidate.first_pair;
    if (buffers.entries.size() < supporters) {
        buffers.entries.resize(supporters);
        buffers.positions.resize(supporters);
    }
    buffers.negative.clear();

    // One pass sums the money in pair order and sorts supporters into
    // groups that follow each other in walk order: negative quotients;
    // zero quotients (exhausted budgets, mostly), which are all equal and
    // need only pair order; positive ones below the first payment, filled
    // from the front of `entries`; the other positive ones, filled from its
    // back; undefined ones, from the back of `positions`.
    const double first_payment = candidate.cost / static_cast<double>(candidate.total_utility);
    WalkEntry* const entries = buffers.entries.data();
    std::size_t* const positions = buffers.positions.data();
    std::size_t below = 0;
    std::size_t rest = supporters;
    std::size_t zero = 0;
    std::size_t undefined = supporters;
    double available = 0.0;
    // Plain pointers: the stores into `entries` would otherwise make the
    // compiler reload each vector's data on every supporter.
    const double* const budgets = budget.data();
    const std::uint32_t* const pair_voter = election.pair_voter.data();
    const double* const pair_utility = election.pair_utility.data();
    for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
        const double voter_budget = budgets[pair_voter[i]];
        available += voter_budget;
        // Dividing by 1 changes nothing; skipping it spares approval
        // ballots a division per supporter.
        const double utility = pair_utility[i];
        const double quotient = utility == 1.0 ? voter_budget : voter_budget / utility;
        if (quotient >= 0) {
            // Which group a supporter joins is as good as random, so it is
            // stored into each and only the right count advances: slots past
            // a count are free, and the groups never meet before the end.
            const bool is_zero = quotient == 0;
            const bool is_below = quotient < first_payment;
            entries[below] = {quotient, i};
            entries[rest - 1] = {quotient, i};
            positions[zero] = i;
            below += !is_zero & is_below;
            rest -= !is_zero & !is_below;
            zero += is_zero;
        } else if (quotient < 0) {
            buffers.negative.push_back({quotient, i});
        } else {
            positions[--undefined] = i;
        }
    }
    if (candidate.cost > available) {
        return {false, std::nullopt};
    }

    Walk walk{election, budget, candidate.cost, 0.0, static_cast<double>(candidate.total_utility)};
    std::optional<double> payment = visit_sorted(buffers.negative.begin(), buffers.negative.end(), walk);
    for (std::size_t k = 0; k < zero && !payment; ++k) {
        payment = walk.visit(positions[k]);
    }
    if (!payment) {
        sort_positive_into_walk_order(entries, entries + below, candidate.first_pair, true, buffers.scratch);
        payment = visit_in_order(entries, entries + below, walk);
    }
    if (!payment) {
        payment = visit_in_batches(entries + rest, entries + supporters, candidate.first_pair, walk,
                                   buffers.scratch);
    }
    // Filled from the back: pair order is the reverse.
    for (std::size_t k = supporters; k > undefined && !payment; --k) {
        payment = walk.visit(positions[k - 1]);
    }
    return {true, payment};
}

}  // namespace quorin::detail
