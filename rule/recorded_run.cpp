#include "recorded_run.hpp"

#include "fixed_budget.hpp"

namespace quorin::detail {

// The plain run, watched: examinations and charges are noted as they happen.
struct RecordingRun : PlainRun {
    RunRecord& record;

    Examination examine(const Candidate& candidate) {
        const Examination examination = PlainRun::examine(candidate);
        CandidateRecord& noted = record.candidates[index_of(candidate)];
        if (examination.affordable) {
            noted.ever_affordable = true;
        } else if (noted.unaffordable_in_round == 0) {
            noted.unaffordable_in_round = record.winners.size() + 1;
        }
        return examination;
    }

    void charge(const Candidate& winner, double price) {
        WinnerRecord noted{index_of(winner), record.winners.size() + 1, price, 0, 0, 0.0};
        charge_telling(winner, price, [&](std::size_t, double payment, bool all_held) {
            if (payment > 0) {
                ++noted.payers;
                noted.paid_all_held += all_held ? 1 : 0;
            }
            noted.paid += payment;
        });
        record.candidates[noted.candidate].bought = true;
        record.winners.push_back(noted);
    }

    std::uint32_t index_of(const Candidate& candidate) const {
        return static_cast<std::uint32_t>(&candidate - election.candidates.data());
    }
};

RunRecord record_fixed_budget(const Election& election, double total_budget,
                              const Interruption& interruption) {
    RunRecord record;
    record.candidates.resize(election.candidates.size());
    Workspace workspace;
    hand_out_shares(election, total_budget, workspace.budget);
    RecordingRun run{{election, workspace.budget, workspace.walk}, record};
    std::vector<std::uint32_t> winners;
    run_iterations(election, run, workspace.state, winners, interruption);
    for (std::size_t c = 0; c < election.candidates.size(); ++c) {
        const Candidate& candidate = election.candidates[c];
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            record.candidates[c].held_at_end += workspace.budget[election.pair_voter[i]];
        }
    }
    return record;
}

}  // namespace quorin::detail
