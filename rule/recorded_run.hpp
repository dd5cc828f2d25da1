// A fixed-budget run that keeps what explains its outcome: for each winner
// the round it was bought in and what its supporters paid, for each other
// candidate whether its supporters could ever afford it and when they no
// longer could. It is the rule's own run loop and arithmetic, so its
// winners are exactly the rule's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "election.hpp"
#include "interruption.hpp"

namespace quorin::detail {

struct WinnerRecord {
    std::uint32_t candidate;
    std::size_t round;  // from 1
    // The price per unit of utility; supporters who could not bear it paid
    // all they held.
    double price;
    std::size_t payers;        // supporters who paid something
    std::size_t paid_all_held; // of them, those who could not bear the price
    double paid;               // in all, in pair order
};

struct CandidateRecord {
    bool bought = false;
    // Whether its supporters held its cost in some round it was examined in.
    bool ever_affordable = false;
    // The round in which its supporters no longer held its cost, 0 if never.
    std::size_t unaffordable_in_round = 0;
    // Money its supporters held when the run ended, in pair order.
    double held_at_end = 0.0;
};

struct RunRecord {
    std::vector<WinnerRecord> winners;
    std::vector<CandidateRecord> candidates;  // by candidate index
};

RunRecord record_fixed_budget(const Election& election, double total_budget,
                              const Interruption& interruption = {});

}  // namespace quorin::detail
