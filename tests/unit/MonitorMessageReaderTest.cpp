// The monitor client's reader gives back what the gateway's builders wrote, and nothing for
// anything else.

#include "codec/MonitorMessageReader.h"

#include <gtest/gtest.h>

#include "codec/MonitorMessages.h"

namespace velgate::monitor_messages {
namespace {

template <typename Part>
Part Read(const std::string& message) {
  const std::optional<Message> read = ReadMessage(message);
  EXPECT_TRUE(read && std::holds_alternative<Part>(*read)) << message;
  return read && std::holds_alternative<Part>(*read) ? std::get<Part>(*read) : Part{};
}

TEST(MonitorMessageReaderTest, EveryBuiltMessageReadsBackToItsParts) {
  StatusRow row;
  row.address = {"2001:db8::7", 65535};
  row.port = {"51234", 16777215};
  row.call = {"G1^ABC", 65280};  // a caret in a call sign is the caller's own
  row.address_tip = "04-Dec-2026 1158Z";
  for (const bool selected : {false, true}) {
    const auto r = Read<RowMessage>(Row(selected, 12, row));
    EXPECT_EQ(r.selected, selected);
    EXPECT_EQ(std::tie(r.stream, r.address, r.address_colour, r.port, r.port_colour, r.call,
                       r.call_colour, r.tip),
              std::make_tuple(12, std::string("2001:db8::7"), 65535, std::string("51234"), 16777215,
                              std::string("G1^ABC"), 65280, std::string("04-Dec-2026 1158Z")));
  }
  const auto text = Read<CallFieldMessage>(CallField(true, 3, row, '6'));
  EXPECT_EQ(std::tie(text.selected, text.stream, text.field, text.value),
            std::make_tuple(true, 3, '6', std::string("G1^ABC")));
  EXPECT_EQ(Read<CallFieldMessage>(CallField(false, 3, row, '7')).value, "65280");
  const auto in = Read<CopyMessage>(InputCopy("sh/dx\r\n"));
  const auto out = Read<CopyMessage>(OutputCopy("DX de K1TTT\r\n"));
  EXPECT_EQ(std::tie(in.output, in.text), std::make_tuple(false, std::string("sh/dx\r\n")));
  EXPECT_EQ(std::tie(out.output, out.text), std::make_tuple(true, std::string("DX de K1TTT\r\n")));
  const auto trace = Read<TraceMessage>(Trace(7, "a^b"));
  EXPECT_EQ(std::tie(trace.stream, trace.text), std::make_tuple(7, std::string("a^b")));
  const auto counter = Read<CounterMessage>(ListenerCounter(2, "R"));
  EXPECT_EQ(std::tie(counter.listener, counter.counter), std::make_tuple(2, std::string("R")));
  const auto listener = Read<ListenerMessage>(Listener(1, 65280, "7373"));
  EXPECT_EQ(std::tie(listener.listener, listener.colour, listener.port),
            std::make_tuple(1, 65280, std::string("7373")));
  const auto high = Read<MarkMessage>(AllTimeHigh(212, "04-Dec-2026  05:30"));
  const auto session = Read<MarkMessage>(SessionHigh(-1, ""));
  EXPECT_EQ(std::tie(high.all_time, high.count, high.date),
            std::make_tuple(true, 212, std::string("04-Dec-2026  05:30")));
  EXPECT_EQ(std::tie(session.all_time, session.count), std::make_tuple(false, -1));
  EXPECT_EQ(Read<StatusMessage>(Status("Cluster online")).line, "Cluster online");
}

TEST(MonitorMessageReaderTest, AnythingElseIsNoMessage) {
  for (const char* bad :
       {"", "^ZQ", "ZQ66^2", "^ZQ99^x", "^ZQ66^", "^ZQ66^x^0^a^1^p^2^c^3^0^", "^ZQ66^2^0^a^1^p^2",
        "^ZQ66^2^1^a^1^p^2^c^3^0^t", "^ZQ66^2^0^a^x^p^2^c^3^0^t", "^ZQ60^2^7^white",
        "^ZQ64^no blank lines", "^ZQ70^7^no line end", "^ZQ70^x^t\r\n", "^ZQ80^ 1^R",
        "^ZQ81^ 1^green^7373", "^ZQ90^many^date", "^ZQ91^ 99999999999^d"})
    EXPECT_FALSE(ReadMessage(bad)) << bad;
}

}  // namespace
}  // namespace velgate::monitor_messages
