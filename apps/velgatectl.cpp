// velgatectl: operates a running velgated through its control socket. Exit status 0 when the
// command was carried out, 1 when the gateway refused it or it failed, 2 when the gateway
// cannot be reached.

#include <getopt.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "base/Version.h"
#include "control/ControlClient.h"

namespace {

const char kUsage[] =
    "usage: velgatectl [--control PATH | --dir DIR] [--json] COMMAND [ARGUMENTS]\n"
    "  Operates a running velgated through its control socket: PATH, or velgated.sock in\n"
    "  DIR; by default /run/velgate/control where it exists (the service), else\n"
    "  velgated.sock in the current directory.\n"
    "  Commands:\n"
    "    status                                 the gateway now\n"
    "    streams [--call CALL] [--address PFX]  one line per connected stream\n"
    "    send STREAM TEXT                       TEXT to the cluster as a line of the stream\n"
    "    kick STREAM                            the stream ends as if its user hung up\n"
    "    disc-cluster                           disconnects the cluster server\n"
    "    lockout list|add PREFIX|del PREFIX     the lock-out list, written at once\n"
    "    reload                                 reads Velgate.cfg again, dropping nobody\n"
    "    quit                                   writes the settings and ends the gateway\n"
    "  --json prints the reply as one line of JSON.\n"
    "  Exit status: 0 done, 1 refused or failed, 2 the gateway cannot be reached.\n";

constexpr int kAnswerWaitMs = 30000;

bool Exists(const char* path) {
  struct stat found {};
  return ::stat(path, &found) == 0;
}

// The service's socket; else one here; else, where the service is installed but stopped, the
// service's path all the same, so that the error names the socket the operator means.
std::string DefaultPath() {
  const char* service = "/run/velgate/control";
  if (Exists(service)) return service;
  if (Exists("velgated.sock")) return "velgated.sock";
  const bool installed = Exists("/lib/systemd/system/velgated.service") ||
                         Exists("/usr/lib/systemd/system/velgated.service");
  return installed ? service : "velgated.sock";
}

}  // namespace

int main(int argc, char** argv) {
  const option options[] = {
      {"control", required_argument, nullptr, 'c'}, {"dir", required_argument, nullptr, 'd'},
      {"json", no_argument, nullptr, 'j'},          {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'v'},       {nullptr, 0, nullptr, 0}};
  std::string path;
  bool json = false;
  opterr = 0;
  // "+": the command's own words (streams --call X) are not velgatectl's options.
  for (int choice; (choice = getopt_long(argc, argv, "+:h", options, nullptr)) != -1;) {
    switch (choice) {
      case 'c':
        path = optarg;
        break;
      case 'd':
        path = std::string(optarg) + "/velgated.sock";
        break;
      case 'j':
        json = true;
        break;
      case 'h':
        std::cout << kUsage;
        return 0;
      case 'v':
        std::cout << velgate::kVersion << "\n";
        return 0;
      default:
        std::cerr << "velgatectl: unknown or incomplete option \"" << argv[optind - 1] << "\"\n"
                  << kUsage;
        return 1;
    }
  }
  if (optind >= argc) {
    std::cerr << "velgatectl: no command given\n" << kUsage;
    return 1;
  }
  std::string request = json ? "json" : "";
  for (int i = optind; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.find_first_of("\r\n") != std::string::npos) {
      std::cerr << "velgatectl: a request is one line: no line break in \"" << word << "\"\n";
      return 1;
    }
    request += (request.empty() ? "" : " ") + word;
  }
  if (path.empty()) path = DefaultPath();
  const velgate::ControlAnswer answer = velgate::AskGateway(path, request, kAnswerWaitMs);
  if (!answer.reached) {
    std::cerr << "velgatectl: " << answer.failure << "\n";
    return 2;
  }
  for (const std::string& line : answer.lines) std::cout << line << "\n";
  if (!answer.ok && !json) std::cerr << "velgatectl: " << answer.error << "\n";
  return answer.ok ? 0 : 1;
}
