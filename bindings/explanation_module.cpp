// quorin._explanation: why an outcome is what it is, for the quorin
// command. It converts the six arguments as quorinbindings does, runs the
// rule's own recording run (at the kept budget of the completion, for the
// add-one rule) and returns plain Python data; quorinbindings itself keeps
// exactly its two functions.
#include <pybind11/pybind11.h>

#include "add_one.hpp"
#include "arguments.hpp"
#include "outcomes.hpp"
#include "pending_signals.hpp"
#include "recorded_run.hpp"
#include "skipping_completion.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

const char* stop_name(detail::CompletionStop stop) {
    switch (stop) {
        case detail::CompletionStop::exhaustive: return "exhaustive";
        case detail::CompletionStop::overshoot: return "overshoot";
        case detail::CompletionStop::settled: return "settled";
    }
    return "settled";
}

// Why a candidate that was not bought lost.
const char* reason_lost(const detail::CandidateRecord& candidate) {
    if (!candidate.ever_affordable) {
        return "never affordable";
    }
    return candidate.unaffordable_in_round > 0 ? "outbid" : "unpayable";
}

// `arguments`: the six arguments of quorinbindings' functions.
py::dict explain(py::tuple arguments, bool completion) {
    if (arguments.size() != 6) {
        throw py::type_error("explain takes the six arguments of equal_shares_utils as one tuple");
    }
    const std::optional<bindings::ConvertedArguments> converted = bindings::convert_arguments(
        {arguments[0].ptr(), arguments[1].ptr(), arguments[2].ptr(), arguments[3].ptr(),
         arguments[4].ptr(), arguments[5].ptr()});
    if (!converted) {
        throw py::type_error("the arguments do not convert as quorinbindings converts them");
    }
    const detail::Election& election = converted->election;
    detail::reject_nan_budget(converted->total_budget);

    py::dict explanation;
    double budget = converted->total_budget;
    std::vector<std::uint32_t> outcome;
    if (completion) {
        detail::CompletionEnd end;
        outcome = detail::complete_add_one_skipping(election, budget, bindings::by_pending_signals,
                                                    nullptr, &end);
        budget = end.kept_budget;
        explanation["stop"] = stop_name(end.stop);
    } else {
        outcome = detail::fixed_budget_outcome(election, budget, bindings::by_pending_signals);
        explanation["stop"] = py::none();
    }
    const detail::RunRecord record =
        detail::record_fixed_budget(election, budget, bindings::by_pending_signals);
    std::vector<std::uint32_t> recorded;
    for (const detail::WinnerRecord& winner : record.winners) {
        recorded.push_back(winner.candidate);
    }
    if (recorded != outcome) {
        throw std::logic_error("the recording run bought other projects than the rule");
    }

    explanation["share"] =
        election.voter_count > 0 ? budget / static_cast<double>(election.voter_count) : 0.0;
    py::list winners;
    for (const detail::WinnerRecord& winner : record.winners) {
        py::dict entry;
        entry["project"] = *election.candidates[winner.candidate].id;
        entry["round"] = winner.round;
        entry["price"] = winner.price;
        entry["payers"] = winner.payers;
        entry["paid_all_held"] = winner.paid_all_held;
        entry["paid"] = winner.paid;
        winners.append(entry);
    }
    explanation["winners"] = winners;
    py::list others;
    for (std::size_t c = 0; c < election.candidates.size(); ++c) {
        const detail::CandidateRecord& candidate = record.candidates[c];
        if (candidate.bought) {
            continue;
        }
        py::dict entry;
        entry["project"] = *election.candidates[c].id;
        entry["reason"] = reason_lost(candidate);
        entry["held_at_end"] = candidate.held_at_end;
        others.append(entry);
    }
    explanation["others"] = others;
    return explanation;
}

}  // namespace

PYBIND11_MODULE(_explanation, m) {
    m.def("explain", &explain);
}
