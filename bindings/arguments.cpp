#include "arguments.hpp"

#include <new>
#include <stdexcept>
#include <string>

#include "identifier_table.hpp"
#include "python_values.hpp"

namespace quorin::bindings {
namespace {

// Grows `values` geometrically even when told sizes piece by piece.
template <class Vector>
void make_room(Vector& values, std::size_t extra) {
    if (values.capacity() - values.size() < extra) {
        values.reserve(std::max(values.size() + extra, 2 * values.capacity()));
    }
}

// What the maps say about one project, by its slot among `projects`.
struct ProjectFacts {
    double cost = 0.0;
    std::int64_t total_utility = 0;
    std::size_t first_pair = 0;
    std::size_t end_pair = 0;
    bool has_cost = false;
    bool has_supporters = false;
    bool has_total_utility = false;
};

class Conversion {
public:
    bool voters(PyObject* object) {
        const bool converted = guarded("voters", [&] {
            return for_each_item(
                object, "voters", [&](std::size_t n) { voters_.reserve(n); },
                [&](PyObject* item) {
                    const std::optional<Identifier> id = read_identifier(item);
                    if (!id) {
                        return false;
                    }
                    bool is_new = false;
                    voters_.intern(item, *id, is_new);
                    ++voter_count_;
                    return true;
                });
        });
        listed_voters_ = voters_.size();
        return converted;
    }

    bool projects(PyObject* object) {
        const bool converted = guarded("projects", [&] {
            return for_each_item(
                object, "projects",
                [&](std::size_t n) {
                    projects_.reserve(n);
                    make_room(listing_, n);
                },
                [&](PyObject* item) {
                    const std::optional<Identifier> id = read_identifier(item);
                    if (!id) {
                        return false;
                    }
                    bool is_new = false;
                    listing_.push_back(projects_.intern(item, *id, is_new));
                    return true;
                });
        });
        facts_.resize(projects_.size());
        return converted;
    }

    bool cost(PyObject* object) {
        return each_first_value("cost", object, to_double, &ProjectFacts::cost, &ProjectFacts::has_cost);
    }

    bool approvers_utilities(PyObject* object) {
        reserve_pairs(object);
        return each_listed_entry(
            "approvers_utilities", object, [&](PyObject* value, ProjectFacts* facts) {
                const bool kept = facts != nullptr && !facts->has_supporters;
                const std::size_t first_pair = pair_voter_.size();
                const bool converted = for_each_item(
                    value, "approvers_utilities",
                    [&](std::size_t n) {
                        if (kept) {
                            make_room(pair_voter_, n);
                            make_room(pair_utility_, n);
                        }
                    },
                    [&](PyObject* pair) { return read_pair(pair, kept); });
                if (!converted) {
                    return false;
                }
                if (kept) {
                    facts->first_pair = first_pair;
                    facts->end_pair = pair_voter_.size();
                    facts->has_supporters = true;
                }
                return true;
            });
    }

    bool total_utility(PyObject* object) {
        return each_first_value("total_utility", object, to_int64, &ProjectFacts::total_utility,
                                &ProjectFacts::has_total_utility);
    }

    bool total_budget(PyObject* object) { return to_double(object, total_budget_); }

    // Reads the maps where a fixed-budget run would: a project missing
    // from one it is needed in throws here.
    ConvertedArguments election() {
        ConvertedArguments converted;
        converted.total_budget = total_budget_;
        detail::Election& election = converted.election;
        election.voter_count = voter_count_;
        election.listed_voters = listed_voters_;
        election.voter_slots = voters_.size();

        const std::vector<PyObject*> project_objects = projects_.objects_by_slot();
        std::vector<std::uint32_t> candidate_of(projects_.size(), detail::not_a_candidate);
        converted.names.reserve(projects_.size());
        election.listings.reserve(listing_.size());
        for (const std::uint32_t project : listing_) {
            const ProjectFacts& facts = facts_[project];
            if (!facts.has_cost) {
                throw std::out_of_range("_Map_base::at");
            }
            detail::Listing listing{facts.cost, detail::not_a_candidate};
            if (facts.cost > 0) {
                if (!facts.has_supporters) {
                    throw std::out_of_range("_Map_base::at");
                }
                if (facts.end_pair > facts.first_pair) {
                    if (!facts.has_total_utility) {
                        throw std::out_of_range("_Map_base::at");
                    }
                    if (candidate_of[project] == detail::not_a_candidate) {
                        candidate_of[project] = static_cast<std::uint32_t>(election.candidates.size());
                        const std::optional<Identifier> id = read_identifier(project_objects[project]);
                        converted.names.emplace_back(id->bytes);
                        election.candidates.push_back({&converted.names.back(), facts.cost,
                                                       facts.total_utility, facts.first_pair,
                                                       facts.end_pair});
                    }
                    listing.candidate = candidate_of[project];
                }
            }
            election.listings.push_back(listing);
        }
        election.pair_voter = std::move(pair_voter_);
        election.pair_utility = std::move(pair_utility_);
        return converted;
    }

private:
    // Memory running out while an argument is read is reported with its name.
    template <class Convert>
    static bool guarded(const char* argument, Convert&& convert) {
        try {
            return convert();
        } catch (const std::bad_alloc&) {
            throw_out_of_memory(argument);
        }
    }

    // Calls `each(value, facts)` for every entry of a map argument, with
    // the facts of the listed project its key names, or null for a key
    // that names none. Every value is converted, as the stock caster does.
    template <class Each>
    bool each_listed_entry(const char* argument, PyObject* object, Each&& each) {
        return guarded(argument, [&] {
            return for_each_entry(
                object, [](std::size_t) {},
                [&](PyObject* key, PyObject* value) {
                    const std::optional<Identifier> id = read_identifier(key);
                    if (!id) {
                        return false;
                    }
                    const std::uint32_t project = projects_.find(key, *id);
                    return each(value, project == IdentifierTable::absent ? nullptr : &facts_[project]);
                });
        });
    }

    // The value of each listed project in a map of numbers; of two keys
    // with the same bytes, the first one counts.
    template <class T>
    bool each_first_value(const char* argument, PyObject* object, bool (*convert)(PyObject*, T&),
                          T ProjectFacts::*value, bool ProjectFacts::*has_value) {
        return each_listed_entry(argument, object, [&](PyObject* entry, ProjectFacts* facts) {
            T converted{};
            if (!convert(entry, converted)) {
                return false;
            }
            if (facts != nullptr && !(facts->*has_value)) {
                facts->*value = converted;
                facts->*has_value = true;
            }
            return true;
        });
    }

    // Room for every pair of a dict of lists and tuples, counted without
    // running caller code; for other maps the arrays simply grow.
    void reserve_pairs(PyObject* object) {
        if (!PyDict_CheckExact(object)) {
            return;
        }
        std::size_t pairs = 0;
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(object, &position, &key, &value)) {
            if (PyList_CheckExact(value)) {
                pairs += static_cast<std::size_t>(PyList_GET_SIZE(value));
            } else if (PyTuple_CheckExact(value)) {
                pairs += static_cast<std::size_t>(PyTuple_GET_SIZE(value));
            }
        }
        guarded("approvers_utilities", [&] {
            pair_voter_.reserve(pairs);
            pair_utility_.reserve(pairs);
            return true;
        });
    }

    // One (voter, utility) pair: any sequence of exactly two items. A kept
    // pair enters the election; the others are only converted.
    bool read_pair(PyObject* pair, bool kept) {
        if (PyTuple_CheckExact(pair) && PyTuple_GET_SIZE(pair) == 2) {
            return read_pair_items(PyTuple_GET_ITEM(pair, 0), [&] { return PyTuple_GET_ITEM(pair, 1); },
                                   kept);
        }
        if (!PySequence_Check(pair)) {
            return false;
        }
        const Py_ssize_t length = PySequence_Size(pair);
        if (length < 0) {
            throw pybind11::error_already_set();
        }
        if (length != 2) {
            return false;
        }
        const Held voter = Held::steal(PySequence_GetItem(pair, 0));
        std::optional<Held> utility;
        return read_pair_items(
            voter.get(),
            [&] {
                utility.emplace(Held::steal(PySequence_GetItem(pair, 1)));
                return utility->get();
            },
            kept);
    }

    // The second item is fetched only once the first has converted.
    template <class Second>
    bool read_pair_items(PyObject* voter, Second&& second, bool kept) {
        const std::optional<Identifier> id = read_identifier(voter);
        if (!id) {
            return false;
        }
        std::uint32_t slot = 0;
        if (kept) {
            // Supporters missing from `voters` take the slots after them.
            bool is_new = false;
            slot = voters_.intern(voter, *id, is_new);
        }
        std::int64_t utility = 0;
        if (!to_int64(second(), utility)) {
            return false;
        }
        if (kept) {
            pair_voter_.push_back(slot);
            pair_utility_.push_back(static_cast<double>(utility));
        }
        return true;
    }

    IdentifierTable voters_;
    std::size_t voter_count_ = 0;
    std::size_t listed_voters_ = 0;
    IdentifierTable projects_;
    std::vector<std::uint32_t> listing_;
    std::vector<ProjectFacts> facts_;
    std::vector<std::uint32_t> pair_voter_;
    std::vector<double> pair_utility_;
    double total_budget_ = 0.0;
};

}  // namespace

std::optional<ConvertedArguments> convert_arguments(const PythonArguments& arguments) {
    std::optional<ConvertedArguments> converted;
    {
        Conversion conversion;
        if (!conversion.voters(arguments[0]) || !conversion.projects(arguments[1]) ||
            !conversion.cost(arguments[2]) || !conversion.approvers_utilities(arguments[3]) ||
            !conversion.total_utility(arguments[4]) || !conversion.total_budget(arguments[5])) {
            return std::nullopt;
        }
        converted = conversion.election();
    }
    // Once the tables of identifiers are gone, so that the peak stays low.
    detail::reject_repeated_supporters(converted->election);
    return converted;
}

}  // namespace quorin::bindings
