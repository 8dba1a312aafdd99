#pragma once
// The commands of `kdisk`, each returning its exit status; a failure has said
// why on stderr first.
#include <optional>
#include <string>
#include <vector>

namespace kdisk::cli {

class Session;

int login(Session& session, std::optional<std::string> givenLogin, bool passwordFromStdin);
int logout(Session& session);
int whoami(Session& session);

int list(Session& session, const std::string& path, bool longForm, bool json, bool offline);
int search(Session& session, const std::string& text, const std::string& path, bool offline);

int get(Session& session, const std::string& remote, const std::optional<std::string>& local,
        bool offline);
int put(Session& session, std::vector<std::string> arguments, std::optional<std::string> to,
        bool noWait);
int queueList(Session& session);
int queueRetry(Session& session, const std::vector<std::string>& names);
int queueRemove(Session& session, const std::vector<std::string>& names);

int remove(Session& session, const std::vector<std::string>& paths, bool force);
int makeDirectory(Session& session, const std::string& name, const std::string& parentPath);
int share(Session& session, const std::vector<std::string>& paths, bool copy);

} // namespace kdisk::cli
