#include "service/HttpExchange.h"

#include <strings.h>

namespace kdisk::service {

namespace {
bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}
} // namespace

void HeaderFields::add(std::string name, std::string value) {
  m_fields.emplace_back(std::move(name), std::move(value));
}

void HeaderFields::set(std::string name, std::string value) {
  for (auto& field : m_fields) {
    if (sameName(field.first, name)) {
      field.second = std::move(value);
      return;
    }
  }
  add(std::move(name), std::move(value));
}

std::optional<std::string> HeaderFields::find(std::string_view name) const {
  for (const auto& field : m_fields) {
    if (sameName(field.first, name)) return field.second;
  }
  return std::nullopt;
}

bool HttpExchange::respond(unsigned status, std::string_view contentType, std::string_view body,
                           HeaderFields extra) {
  HttpResponseHead head;
  head.status = status;
  head.fields = std::move(extra);
  if (!contentType.empty()) head.fields.set("Content-Type", std::string(contentType));
  head.contentLength = body.size();
  if (!sendHead(head)) return false;
  if (request().method == "HEAD" || body.empty()) return true;
  return sendBody(body.data(), body.size());
}

bool HttpExchange::respondEmpty(unsigned status, HeaderFields extra) {
  return respond(status, {}, {}, std::move(extra));
}

std::optional<std::string> HttpExchange::readWholeBody(std::size_t limit, bool& tooLarge) {
  std::string body;
  tooLarge = false;
  if (request().contentLength && *request().contentLength > limit) {
    tooLarge = true;
    return std::nullopt;
  }
  char buffer[16 * 1024];
  for (;;) {
    auto got = readBody(buffer, sizeof buffer);
    if (!got) return std::nullopt;
    if (*got == 0) return body;
    if (body.size() + *got > limit) {
      tooLarge = true;
      return std::nullopt;
    }
    body.append(buffer, *got);
  }
}

} // namespace kdisk::service
