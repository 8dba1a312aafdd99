#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace kdisk::service {

// Faults that tests switch on through the admin endpoint. A rule matches a method
// ("*" or empty for any) and a raw request path (exact, or a prefix when it ends
// in "*"); it fires for its next `count` matching requests (0 = every one).
// A rule with a probability below 1 fires for each matching request with that
// chance, drawn from a generator of its own seeded by the rule, so the same
// sequence of requests meets the same faults in every run.
// A held request waits until the admin releases its rule, then gets `status`
// (0: its ordinary answer); a client that leaves first is logged with 499.
// Shared by all connection threads, hence the lock.
class FaultInjector {
public:
  enum class Action { Latency, Status, CutRequest, CutResponse, Stall, Hold, LoseAnswer };

  struct Rule {
    int id = 0;
    Action action = Action::Status;
    std::string method;
    std::string path;
    unsigned count = 1;
    unsigned status = 500;
    std::uint64_t bytes = 0;
    std::chrono::milliseconds duration{0};
    // A latency rule draws its delay between `duration` and `maxDuration`
    // when the latter is longer.
    std::chrono::milliseconds maxDuration{0};
    double probability = 1;
    std::uint64_t seed = 0;
    unsigned fired = 0;
    unsigned matched = 0;
  };

  // What to do to one request: delay first, then at most one of the others.
  struct Plan {
    std::chrono::milliseconds latency{0};
    std::optional<Rule> fault;
  };

  // Parses a rule from its JSON form; nullopt with `error` on bad input.
  static std::optional<Rule> ruleFromJson(const nlohmann::json& json, std::string& error);
  static nlohmann::json ruleToJson(const Rule& rule);

  int add(Rule rule);
  void clear();
  std::vector<Rule> rules() const;
  Plan planFor(const std::string& method, const std::string& path);

private:
  static bool matches(const Rule& rule, const std::string& method, const std::string& path);
  bool draws(const Rule& rule);
  std::chrono::milliseconds delayOf(const Rule& rule);

  mutable std::mutex m_mutex;
  std::vector<Rule> m_rules;
  // One generator per rule id, seeded when the rule is added.
  std::map<int, std::mt19937_64> m_generators;
  int m_nextId = 1;
};

} // namespace kdisk::service
