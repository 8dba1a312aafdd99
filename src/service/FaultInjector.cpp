#include "service/FaultInjector.h"

#include <nlohmann/json.hpp>

namespace kdisk::service {

namespace {
struct ActionName {
  FaultInjector::Action action;
  const char* name;
};
constexpr ActionName kActionNames[] = {
    {FaultInjector::Action::Latency, "latency"},
    {FaultInjector::Action::Status, "status"},
    {FaultInjector::Action::CutRequest, "cut-request"},
    {FaultInjector::Action::CutResponse, "cut-response"},
    {FaultInjector::Action::Stall, "stall"},
    {FaultInjector::Action::Hold, "hold"},
    {FaultInjector::Action::LoseAnswer, "lose-answer"},
};
// Bounds so a test cannot wedge the service for long by mistake.
constexpr std::chrono::milliseconds kLongestDelay{120'000};
} // namespace

std::optional<FaultInjector::Rule> FaultInjector::ruleFromJson(const nlohmann::json& json,
                                                               std::string& error) {
  if (!json.is_object() || !json.contains("action") || !json["action"].is_string()) {
    error = "a rule needs an \"action\"";
    return std::nullopt;
  }
  Rule rule;
  std::string action = json["action"].get<std::string>();
  bool known = false;
  for (const auto& entry : kActionNames) {
    if (action == entry.name) {
      rule.action = entry.action;
      known = true;
    }
  }
  if (!known) {
    error = "unknown action " + action;
    return std::nullopt;
  }
  auto text = [&](const char* key) {
    return json.contains(key) && json[key].is_string() ? json[key].get<std::string>() : "";
  };
  auto number = [&](const char* key, std::int64_t fallback) -> std::int64_t {
    if (!json.contains(key)) return fallback;
    if (!json[key].is_number_integer() || json[key].get<std::int64_t>() < 0) {
      error = std::string("\"") + key + "\" must be a non-negative integer";
      return -1;
    }
    return json[key].get<std::int64_t>();
  };
  rule.method = text("method");
  rule.path = text("path");
  std::int64_t count = number("count", rule.action == Action::Latency ? 0 : 1);
  std::int64_t status = number("status", rule.action == Action::Hold ? 0 : 500);
  std::int64_t bytes = number("bytes", 0);
  std::int64_t milliseconds =
      number("ms", rule.action == Action::Stall || rule.action == Action::Hold ? 30'000 : 0);
  std::int64_t maxMilliseconds = number("max_ms", 0);
  if (count < 0 || status < 0 || bytes < 0 || milliseconds < 0 || maxMilliseconds < 0) return std::nullopt;
  // Seeds use all 64 bits.
  if (json.contains("seed")) {
    if (!json["seed"].is_number_unsigned()) {
      error = "\"seed\" must be a non-negative integer";
      return std::nullopt;
    }
    rule.seed = json["seed"].get<std::uint64_t>();
  }
  if (json.contains("probability")) {
    const auto& probability = json["probability"];
    if (!probability.is_number() || !(probability.get<double>() >= 0 && probability.get<double>() <= 1)) {
      error = "\"probability\" must be a number from 0 to 1";
      return std::nullopt;
    }
    rule.probability = probability.get<double>();
  }
  const bool ordinaryAnswer = rule.action == Action::Hold && status == 0;
  if ((rule.action == Action::Status || rule.action == Action::Hold) && !ordinaryAnswer &&
      (status < 200 || status > 599)) {
    error = "\"status\" must be 200-599";
    return std::nullopt;
  }
  rule.count = static_cast<unsigned>(std::min<std::int64_t>(count, 1'000'000));
  rule.status = static_cast<unsigned>(status);
  rule.bytes = static_cast<std::uint64_t>(bytes);
  rule.duration = std::min(std::chrono::milliseconds(milliseconds), kLongestDelay);
  rule.maxDuration = std::min(std::chrono::milliseconds(maxMilliseconds), kLongestDelay);
  return rule;
}

nlohmann::json FaultInjector::ruleToJson(const Rule& rule) {
  nlohmann::json json;
  json["id"] = rule.id;
  for (const auto& entry : kActionNames)
    if (entry.action == rule.action) json["action"] = entry.name;
  json["method"] = rule.method;
  json["path"] = rule.path;
  json["count"] = rule.count;
  json["status"] = rule.status;
  json["bytes"] = rule.bytes;
  json["ms"] = rule.duration.count();
  json["max_ms"] = rule.maxDuration.count();
  json["probability"] = rule.probability;
  json["seed"] = rule.seed;
  json["fired"] = rule.fired;
  json["matched"] = rule.matched;
  return json;
}

int FaultInjector::add(Rule rule) {
  std::lock_guard lock(m_mutex);
  rule.id = m_nextId++;
  rule.fired = 0;
  rule.matched = 0;
  if (rule.probability < 1 || rule.maxDuration > rule.duration) m_generators.emplace(rule.id, std::mt19937_64(rule.seed));
  m_rules.push_back(rule);
  return rule.id;
}

void FaultInjector::clear() {
  std::lock_guard lock(m_mutex);
  m_rules.clear();
  m_generators.clear();
}

std::vector<FaultInjector::Rule> FaultInjector::rules() const {
  std::lock_guard lock(m_mutex);
  return m_rules;
}

bool FaultInjector::matches(const Rule& rule, const std::string& method, const std::string& path) {
  if (!rule.method.empty() && rule.method != "*" && rule.method != method) return false;
  if (rule.path.empty() || rule.path == "*") return true;
  if (rule.path.back() == '*')
    return path.compare(0, rule.path.size() - 1, rule.path, 0, rule.path.size() - 1) == 0;
  return path == rule.path;
}

bool FaultInjector::draws(const Rule& rule) {
  if (rule.probability >= 1) return true;
  // A double from the top 53 bits, the same on every platform (unlike the
  // standard distributions).
  const double chance = double(m_generators[rule.id]() >> 11) * 0x1.0p-53;
  return chance < rule.probability;
}

std::chrono::milliseconds FaultInjector::delayOf(const Rule& rule) {
  if (rule.maxDuration <= rule.duration) return rule.duration;
  const auto span = std::uint64_t((rule.maxDuration - rule.duration).count()) + 1;
  return rule.duration + std::chrono::milliseconds(m_generators[rule.id]() % span);
}

FaultInjector::Plan FaultInjector::planFor(const std::string& method, const std::string& path) {
  std::lock_guard lock(m_mutex);
  Plan plan;
  for (auto& rule : m_rules) {
    if (!matches(rule, method, path)) continue;
    if (rule.count != 0 && rule.fired >= rule.count) continue;
    // A rule that cannot fire now draws nothing, so whether it would have
    // does not shift the choices after it.
    if (rule.action != Action::Latency && plan.fault) continue;
    ++rule.matched;
    if (!draws(rule)) continue;
    ++rule.fired;
    if (rule.action == Action::Latency)
      plan.latency += delayOf(rule);
    else
      plan.fault = rule;
  }
  plan.latency = std::min(plan.latency, kLongestDelay);
  std::erase_if(m_rules, [this](const Rule& rule) {
    const bool spent = rule.count != 0 && rule.fired >= rule.count;
    if (spent) m_generators.erase(rule.id);
    return spent;
  });
  return plan;
}

} // namespace kdisk::service
