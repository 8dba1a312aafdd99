#include "service/AccountEndpoints.h"

#include "service/FormFields.h"
#include "service/HttpExchange.h"
#include "service/Propfind.h"
#include "service/WebPath.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace kdisk::service {

namespace {

constexpr std::size_t kFormLimit = 16 * 1024;

void jsonAnswer(HttpExchange& exchange, unsigned status, const nlohmann::json& body) {
  HeaderFields fields;
  fields.set("Cache-Control", "no-store");
  exchange.respond(status, "application/json", body.dump(), fields);
}

bool isFormBody(const HttpExchange& exchange) {
  auto type = exchange.request().fields.find("Content-Type").value_or("");
  return type.rfind("application/x-www-form-urlencoded", 0) == 0;
}

// Where a web sign-in may send the browser back to: the application's own
// scheme or this service, never a third site.
bool acceptableReturnPath(const std::string& retpath) {
  if (retpath.rfind("kalumodisk:", 0) == 0) return true;
  if (retpath.size() > 1 && retpath[0] == '/' && retpath[1] != '/' && retpath[1] != '\\')
    return true;
  return retpath.rfind("http://127.0.0.1:", 0) == 0 || retpath.rfind("https://127.0.0.1:", 0) == 0;
}

std::string withToken(const std::string& retpath, const std::string& token,
                      std::uint64_t lifetime) {
  char separator = retpath.find('?') == std::string::npos ? '?' : '&';
  return retpath + separator + "access_token=" + token +
         "&token_type=bearer&expires_in=" + std::to_string(lifetime);
}

const char kPageStyle[] =
    "<style>body{font-family:sans-serif;background:#f2f2f2;margin:0}"
    "main{max-width:22em;margin:3em auto;background:#fff;padding:1.5em 2em;border-radius:8px;"
    "box-shadow:0 1px 4px #0003}h1{font-size:1.4em;color:#243138}"
    "label{display:block;margin:.8em 0 .2em}input[type=text],input[type=password]"
    "{width:100%;box-sizing:border-box;padding:.5em;font-size:1em}"
    "button{margin-top:1.2em;width:100%;padding:.6em;font-size:1em;background:#f8c630;"
    "border:0;border-radius:4px}.error{color:#b00020}.links{margin-top:1em;font-size:.9em}"
    "</style>";

std::string page(const std::string& title, const std::string& content) {
  return "<!doctype html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
         "content=\"width=device-width\"><title>" +
         xmlEscape(title) + "</title>" + kPageStyle + "</head><body><main><h1>" +
         xmlEscape(title) + "</h1>" + content + "</main></body></html>\n";
}

} // namespace

void AccountEndpoints::token(HttpExchange& exchange) {
  if (exchange.request().method != "POST") {
    HeaderFields fields;
    fields.set("Allow", "POST");
    exchange.respond(405, "text/plain", "POST only\n", fields);
    return;
  }
  bool tooLarge = false;
  auto body = exchange.readWholeBody(kFormLimit, tooLarge);
  if (!body) {
    if (tooLarge)
      jsonAnswer(exchange, 400, {{"error", "invalid_request"}, {"error_description", "body too large"}});
    return;
  }
  auto form = isFormBody(exchange) ? FormFields::parse(*body) : std::nullopt;
  if (!form) {
    jsonAnswer(exchange, 400, {{"error", "invalid_request"}, {"error_description", "malformed form"}});
    return;
  }
  if (form->valueOr("client_id", "") != kClientId ||
      form->valueOr("client_secret", "") != kClientSecret) {
    jsonAnswer(exchange, 401, {{"error", "invalid_client"}, {"error_description", "unknown client"}});
    return;
  }
  if (form->valueOr("grant_type", "") != "password") {
    jsonAnswer(exchange, 400, {{"error", "unsupported_grant_type"}});
    return;
  }
  auto login = form->value("username");
  auto password = form->value("password");
  if (!login || !password || login->empty()) {
    jsonAnswer(exchange, 400, {{"error", "invalid_request"}, {"error_description", "username and password required"}});
    return;
  }
  std::optional<Account> account;
  switch (m_store.signIn(*login, *password, account)) {
  case AccountStore::SignInResult::Blocked:
    jsonAnswer(exchange, 400, {{"error", "invalid_grant"}, {"error_description", "CAPTCHA required"}});
    return;
  case AccountStore::SignInResult::WrongCredentials:
    jsonAnswer(exchange, 400, {{"error", "invalid_grant"}, {"error_description", "login or password is wrong"}});
    return;
  case AccountStore::SignInResult::Success: break;
  }
  std::string token =
      m_store.issueToken(*account, std::chrono::seconds(m_config.tokenLifetimeSeconds));
  jsonAnswer(exchange, 200,
             {{"access_token", token}, {"token_type", "bearer"}, {"expires_in", m_config.tokenLifetimeSeconds}});
}

void AccountEndpoints::userInfo(HttpExchange& exchange, const Account& account) {
  exchange.respond(200, "text/plain; charset=utf-8",
                   "uid:" + std::to_string(account.uid) + "\nlogin:" + account.login + "\n");
}

void AccountEndpoints::startup(HttpExchange& exchange) {
  auto query = FormFields::parse(exchange.request().query);
  if (!query) {
    exchange.respond(400, "text/plain", "malformed query\n");
    return;
  }
  std::string udid = query->valueOr("UDID", "");
  std::string uuid = query->valueOr("uuid", "");
  std::string deviceId = query->valueOr("deviceid", "");
  if (udid.size() > 256 || uuid.size() > 256 || deviceId.size() > 256) {
    exchange.respond(400, "text/plain", "parameter too long\n");
    return;
  }
  DeviceRecord record;
  if (!udid.empty()) {
    record = m_store.deviceFor(udid, deviceId);
  } else {
    // Without a device identifier nothing is stable; keep what the client has.
    record = m_store.deviceFor("anonymous:" + randomHex(16), deviceId);
    if (!uuid.empty()) record.uuid = uuid;
  }
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<startup><uuid>" +
                    xmlEscape(record.uuid) + "</uuid><deviceid>" + xmlEscape(record.deviceId) +
                    "</deviceid></startup>\n";
  exchange.respond(200, "application/xml; charset=utf-8", xml);
}

void AccountEndpoints::updateManifest(HttpExchange& exchange) {
  if (m_config.updateManifest) {
    std::ifstream in(*m_config.updateManifest, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
      exchange.respond(404, "text/plain", "no update manifest\n");
      return;
    }
    exchange.respond(200, "application/xml; charset=utf-8", text.str());
    return;
  }
  std::string url = m_config.updateURL.empty() ? m_config.httpBaseURL + "/update/kalumo-disk"
                                               : m_config.updateURL;
  exchange.respond(200, "application/xml; charset=utf-8",
                   "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<update><build_number>" +
                       std::to_string(m_config.updateBuildNumber) + "</build_number><url>" +
                       xmlEscape(url) + "</url></update>\n");
}

bool AccountEndpoints::webPage(HttpExchange& exchange, const std::string& path) {
  if (path == "/auth/signin") {
    signInPage(exchange, false);
  } else if (path == "/auth/register") {
    signInPage(exchange, true);
  } else if (path == "/auth/restore") {
    restorePage(exchange);
  } else {
    return false;
  }
  return true;
}

void AccountEndpoints::signInPage(HttpExchange& exchange, bool registering) {
  const auto& method = exchange.request().method;
  if (method != "GET" && method != "HEAD" && method != "POST") {
    exchange.respond(405, "text/plain", "GET or POST\n");
    return;
  }
  auto query = FormFields::parse(exchange.request().query);
  std::optional<FormFields> form;
  if (method == "POST") {
    bool tooLarge = false;
    auto body = exchange.readWholeBody(kFormLimit, tooLarge);
    if (!body) {
      if (tooLarge) exchange.respond(413, "text/plain", "form too large\n");
      return;
    }
    form = isFormBody(exchange) ? FormFields::parse(*body) : std::nullopt;
    if (!form) {
      exchange.respond(400, "text/plain", "malformed form\n");
      return;
    }
  }
  if (!query) {
    exchange.respond(400, "text/plain", "malformed query\n");
    return;
  }
  const FormFields& source = form ? *form : *query;
  std::string retpath = source.valueOr("retpath", query->valueOr("retpath", "/"));
  std::string clientId = source.valueOr("client_id", query->valueOr("client_id", ""));
  if (!acceptableReturnPath(retpath)) {
    exchange.respond(400, "text/html; charset=utf-8",
                     page("Sign-in", "<p class=error>This return address is not allowed.</p>"));
    return;
  }
  if (!clientId.empty() && clientId != kClientId) {
    exchange.respond(400, "text/html; charset=utf-8",
                     page("Sign-in", "<p class=error>Unknown application.</p>"));
    return;
  }

  std::string error;
  std::string login;
  if (form) {
    login = form->valueOr("login", "");
    std::string password = form->valueOr("password", "");
    std::optional<Account> account;
    if (registering) {
      if (!AccountStore::isValidLogin(login)) {
        error = "A login is 1-64 Latin letters, digits, dots, dashes or underscores.";
      } else if (password.size() < 4) {
        error = "The password needs at least 4 characters.";
      } else if (password != form->valueOr("password2", "")) {
        error = "The passwords differ.";
      } else if (!(account = m_store.createAccount(login, password))) {
        error = "This login is taken.";
      }
    } else {
      switch (m_store.signIn(login, password, account)) {
      case AccountStore::SignInResult::Success: break;
      case AccountStore::SignInResult::WrongCredentials: error = "Wrong login or password."; break;
      case AccountStore::SignInResult::Blocked:
        error = "Too many attempts. Sign-in is blocked for an hour.";
        break;
      }
    }
    if (account) {
      std::string token =
          m_store.issueToken(*account, std::chrono::seconds(m_config.tokenLifetimeSeconds));
      HeaderFields fields;
      fields.set("Location", withToken(retpath, token, m_config.tokenLifetimeSeconds));
      fields.set("Cache-Control", "no-store");
      exchange.respondEmpty(302, fields);
      return;
    }
  }

  std::string hidden = "<input type=hidden name=retpath value=\"" + xmlEscape(retpath) + "\">";
  if (!clientId.empty())
    hidden += "<input type=hidden name=client_id value=\"" + xmlEscape(clientId) + "\">";
  std::string carried = "?retpath=" + percentEncode(retpath) +
                        (clientId.empty() ? "" : "&amp;client_id=" + percentEncode(clientId));
  std::string content;
  if (!error.empty()) content += "<p class=error>" + xmlEscape(error) + "</p>";
  content += "<form method=post action=\"" + std::string(registering ? "/auth/register" : "/auth/signin") +
             "\">" + hidden +
             "<label for=login>Login</label><input type=text id=login name=login "
             "autocomplete=username autofocus value=\"" +
             xmlEscape(login) +
             "\"><label for=password>Password</label><input type=password id=password "
             "name=password autocomplete=" +
             std::string(registering ? "new-password" : "current-password") + ">";
  if (registering)
    content += "<label for=password2>Password again</label><input type=password id=password2 "
               "name=password2 autocomplete=new-password>";
  content += std::string("<button type=submit>") + (registering ? "Create account" : "Sign in") +
             "</button></form><p class=links>";
  content += registering ? "<a href=\"/auth/signin" + carried + "\">I have an account</a>"
                         : "<a href=\"/auth/register" + carried + "\">Create an account</a> · "
                           "<a href=\"/auth/restore\">Forgot the password?</a>";
  content += "</p>";
  exchange.respond(error.empty() ? 200 : 403, "text/html; charset=utf-8",
                   page(registering ? "Create a Kalumo account" : "Sign in to Kalumo.Disk", content));
}

void AccountEndpoints::restorePage(HttpExchange& exchange) {
  const auto& method = exchange.request().method;
  std::string content;
  if (method == "POST") {
    bool tooLarge = false;
    auto body = exchange.readWholeBody(kFormLimit, tooLarge);
    if (!body) {
      if (tooLarge) exchange.respond(413, "text/plain", "form too large\n");
      return;
    }
    auto form = isFormBody(exchange) ? FormFields::parse(*body) : std::nullopt;
    if (!form) {
      exchange.respond(400, "text/plain", "malformed form\n");
      return;
    }
    // The same answer whether or not the login exists, so the page cannot be used
    // to probe for accounts. This local service sends no mail.
    content = "<p>If an account <b>" + xmlEscape(form->valueOr("login", "")) +
              "</b> exists, its owner would now receive a recovery letter. This local service "
              "sends no mail: set a new password by restarting it with "
              "<code>--user LOGIN:PASSWORD</code>.</p><p class=links><a href=\"/auth/signin\">"
              "Back to sign-in</a></p>";
  } else if (method == "GET" || method == "HEAD") {
    content = "<form method=post action=\"/auth/restore\"><label for=login>Login</label>"
              "<input type=text id=login name=login autofocus><button type=submit>Recover the "
              "password</button></form><p class=links><a href=\"/auth/signin\">Back to "
              "sign-in</a></p>";
  } else {
    exchange.respond(405, "text/plain", "GET or POST\n");
    return;
  }
  exchange.respond(200, "text/html; charset=utf-8", page("Password recovery", content));
}

void AccountEndpoints::index(HttpExchange& exchange) {
  exchange.respond(200, "text/html; charset=utf-8",
                   page("kdisk-service",
                        "<p>A local Kalumo.Disk storage service. WebDAV lives under "
                        "<code>/disk/</code>.</p><p class=links><a href=\"/auth/signin\">Sign "
                        "in</a> · <a href=\"/auth/register\">Create an account</a></p>"));
}

} // namespace kdisk::service
