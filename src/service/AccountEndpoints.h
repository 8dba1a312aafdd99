#pragma once

#include "service/AccountStore.h"
#include "service/ServiceConfig.h"

namespace kdisk::service {

class HttpExchange;

// The endpoints around the disk: the OAuth token exchange, user information,
// start-up configuration, update manifest and the web sign-in pages.
class AccountEndpoints {
public:
  AccountEndpoints(const ServiceConfig& config, AccountStore& store)
      : m_config(config), m_store(store) {}

  void token(HttpExchange& exchange);
  void userInfo(HttpExchange& exchange, const Account& account);
  void startup(HttpExchange& exchange);
  void updateManifest(HttpExchange& exchange);
  // /auth/signin, /auth/register, /auth/restore; false when the path is none of them.
  bool webPage(HttpExchange& exchange, const std::string& path);
  void index(HttpExchange& exchange);

private:
  void signInPage(HttpExchange& exchange, bool registering);
  void restorePage(HttpExchange& exchange);

  const ServiceConfig& m_config;
  AccountStore& m_store;
};

} // namespace kdisk::service
