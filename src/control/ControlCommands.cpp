#include "control/ControlCommands.h"

#include "control/ControlReplies.h"
#include "platform/NumberText.h"

namespace velgate {
namespace {

const char kCommands[] = "status, streams, send, kick, disc-cluster, lockout, reload, quit, help";

std::string_view NextWord(std::string_view& rest) {
  const std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  rest.remove_prefix(start);
  const std::size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return word;
}

bool Blank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

ControlReply ControlCommands::Execute(std::string_view line) {
  std::string_view rest = line;
  std::string_view command = NextWord(rest);
  ReplyForm form(false);
  if (command == "json") {
    form = ReplyForm(true);
    command = NextWord(rest);
  }
  if (command.empty())
    return form.Message(false, "an empty request (" + std::string(kCommands) + ")");
  if (command == "status") {
    if (!Blank(rest)) return form.Message(false, "status takes no arguments");
    return form.Status(actions_.Status());
  }
  if (command == "streams") return Streams(form, rest);
  if (command == "send") return Send(form, rest);
  if (command == "kick") {
    const std::optional<int> s = StreamNumber(NextWord(rest));
    if (!s || !Blank(rest))
      return form.Message(false, "kick takes one stream number (kick STREAM)");
    return form.Changed(form.Message(actions_.Kick(*s)));
  }
  if (command == "disc-cluster") {
    if (!Blank(rest)) return form.Message(false, "disc-cluster takes no arguments");
    const bool connected = !actions_.Status().cluster_ip.empty();
    actions_.DisconnectCluster();
    return form.Changed(
        form.Message(true, std::string(connected ? "the cluster server was disconnected"
                                                 : "no cluster server was connected") +
                               "; the cluster port listens again"));
  }
  if (command == "lockout") return LockOut(form, rest);
  if (command == "reload") {
    if (!Blank(rest)) return form.Message(false, "reload takes no arguments");
    return form.Changed(form.Reload(actions_.Reload()));
  }
  if (command == "quit") {
    if (!Blank(rest)) return form.Message(false, "quit takes no arguments");
    ControlReply reply =
        form.Changed(form.Message(true, "the gateway writes its settings and ends"));
    reply.quit = true;
    return reply;
  }
  if (command == "help") return form.Lines(kHelpLines);
  return form.Message(false,
                      "unknown command \"" + std::string(command) + "\" (" + kCommands + ")");
}

std::optional<int> ControlCommands::StreamNumber(std::string_view text) const {
  const std::optional<std::int32_t> s = ParseStrictInteger(text);
  if (!s) return std::nullopt;
  return *s;
}

ControlReply ControlCommands::Streams(const ReplyForm& form, std::string_view rest) {
  StreamFilter filter;
  for (std::string_view option = NextWord(rest); !option.empty(); option = NextWord(rest)) {
    std::string_view value;
    if (const std::size_t equals = option.find('='); equals != std::string_view::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
    } else {
      value = NextWord(rest);
    }
    if (value.empty() || (option != "--call" && option != "--address"))
      return form.Message(false, "streams takes --call CALL and --address PREFIX");
    (option == "--call" ? filter.call : filter.address) = std::string(value);
  }
  return form.Streams(actions_.ConnectedStreams(), filter);
}

ControlReply ControlCommands::Send(const ReplyForm& form, std::string_view rest) {
  const std::string_view stream_text = NextWord(rest);
  const std::optional<int> s = StreamNumber(stream_text);
  const StreamRange range = actions_.ConsoleStreams();
  if (!s || *s < range.first || *s > range.last) {
    return form.Message(false, "the stream must be a number from " + PlainNumber(range.first) +
                                   " to " + PlainNumber(range.last) + " (send STREAM TEXT)");
  }
  if (!actions_.ConsoleEnter(*s, rest))
    return form.Message(false, "the cluster is not online: nothing was sent");
  return form.Changed(
      form.Message(true, "sent to the cluster as a line of stream " + PlainNumber(*s)));
}

ControlReply ControlCommands::LockOut(const ReplyForm& form, std::string_view rest) {
  const std::string_view action = NextWord(rest);
  if (action == "list" && Blank(rest)) return form.LockOuts(actions_.LockOutList());
  if (action == "add") return form.Changed(form.Message(actions_.AddLockOut(rest)));
  if (action == "del") return form.Changed(form.Message(actions_.DeleteLockOut(rest)));
  return form.Message(false, "lockout list, lockout add PREFIX or lockout del PREFIX");
}

}  // namespace velgate
