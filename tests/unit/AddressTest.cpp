// Addresses as the gateway shows, counts and matches them, and the records of its address lists.

#include <gtest/gtest.h>

#include <string>

#include "base/AddressRules.h"
#include "platform/IpAddress.h"

namespace velgate {
namespace {

TEST(AddressTest, TextIsDottedOrRfc5952AndAMappedAddressIsItsIPv4) {
  const std::pair<const char*, const char*> cases[] = {
      {"192.0.2.7", "192.0.2.7"},
      {"::1", "::1"},
      {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},     // the first of two equal runs
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group stays
      {"::ffff:192.0.2.7", "192.0.2.7"},
  };
  for (const auto& [text, shown] : cases) {
    const auto address = IpAddress::Parse(text);
    ASSERT_TRUE(address) << text;
    EXPECT_EQ(address->Text(), shown) << text;
  }
  EXPECT_FALSE(IpAddress::Parse("::ffff:192.0.2.7")->IsV6());
  for (const char* bad : {"", "192.0.2", "192.0.2.256", "2001:db8::1::2", "g::1", "1.2.3.4 ",
                          "localhost", "2001:db8::1%lo"})
    EXPECT_FALSE(IpAddress::Parse(bad)) << bad;
}

TEST(AddressTest, IPv4CountsByAddressAndIPv6ByItsSlash64) {
  const std::uint64_t household = IpAddress::Parse("2001:db8:1:2::1")->CountKey();
  for (int i = 2; i <= 10; ++i) {
    const std::string text = "2001:db8:1:2:" + std::to_string(i) + "::" + std::to_string(i);
    EXPECT_EQ(IpAddress::Parse(text)->CountKey(), household) << text;
  }
  EXPECT_NE(IpAddress::Parse("2001:db8:1:3::1")->CountKey(), household);
  EXPECT_NE(IpAddress::Parse("192.0.2.7")->CountKey(), IpAddress::Parse("192.0.2.8")->CountKey());
  EXPECT_EQ(IpAddress::CountKeyText(household), "2001:db8:1:2::/64");
  EXPECT_EQ(IpAddress::CountKeyText(IpAddress::Parse("::1")->CountKey()), "::/64");
  EXPECT_EQ(IpAddress::CountKeyText(IpAddress::Parse("192.0.2.7")->CountKey()), "192.0.2.7");
  EXPECT_NE(IpAddress::Parse("::1")->CountKey(), IpAddress::kNoCountKey);
}

TEST(AddressTest, RecordsAreTextPrefixesOrNetworksAndMatchTheFamilyTheyName) {
  struct Case {
    const char* record;
    AddressRuleKind kind;
    const char* takes;   // addresses it takes, blank-separated
    const char* leaves;  // addresses it leaves
  };
  using K = AddressRuleKind;
  const Case cases[] = {
      {"192.0.2.", K::kTextPrefix, "192.0.2.7", "192.0.20.1 ::1"},
      {"1", K::kTextPrefix, "1.2.3.4 127.0.0.1", "1::1 ::1"},  // never an IPv6 address
      {"2001:db8:", K::kTextPrefix, "2001:db8::1 2001:db8:1::1", "2001:db9::1 192.0.2.7"},
      {"", K::kTextPrefix, "192.0.2.7 ::1", ""},
      {"44.131, 7", K::kTextPrefix, "", "44.131.0.7"},  // takes nobody, as it always did
      {"192.0.2.0/26", K::kNetwork, "192.0.2.0 192.0.2.63", "192.0.2.64 ::ffff:c000:240"},
      {"192.0.2.9/0", K::kNetwork, "8.8.8.8", "::1"},
      {"2001:db8::/32", K::kNetwork, "2001:db8:ffff::1", "2001:db9::1 192.0.2.7"},
      {"::1/128", K::kNetwork, "::1", "::2 127.0.0.1"},
      {"192.0.2.0/33", K::kBad, "", "192.0.2.0"},
      {"2001:db8::/129", K::kBad, "", "2001:db8::1"},
      {"192.0.2.0/", K::kBad, "", ""},
      {"192.0.2/24", K::kBad, "", ""},
      {"192.0.2.0/+8", K::kBad, "", ""},
      {"::ffff:192.0.2.0/120", K::kBad, "", ""},
  };
  const auto each = [](const char* list, auto check) {
    std::string text = list;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find(' ', at), text.size());
      check(IpAddress::Parse(text.substr(at, end - at))->Text());
      at = end + 1;
    }
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KindOfAddressRule(c.record), c.kind) << c.record;
    each(c.takes, [&](const std::string& a) {
      EXPECT_TRUE(AddressRuleMatches(c.record, a)) << c.record << " " << a;
    });
    each(c.leaves, [&](const std::string& a) {
      EXPECT_FALSE(AddressRuleMatches(c.record, a)) << c.record << " " << a;
    });
  }
}

TEST(AddressTest, TheNetworkIndexFindsTheEarliestNetworkOfManyLengths) {
  NetworkIndex index;
  index.Add(*NetworkPrefix::Parse("2001:db8::/32"), 7);
  index.Add(*NetworkPrefix::Parse("2001:db8:1::/48"), 3);
  index.Add(*NetworkPrefix::Parse("192.0.2.0/24"), 5);
  index.Add(*NetworkPrefix::Parse("192.0.2.128/25"), 9);
  index.Add(*NetworkPrefix::Parse("192.0.2.0/24"), 11);  // a repeat keeps the first place
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("2001:db8:1::5")), 3);
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("2001:db8:2::5")), 7);
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("192.0.2.200")), 5);
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("192.0.3.1")), 0);
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("::ffff:192.0.2.1")), 5);
  index.Clear();
  EXPECT_EQ(index.FirstHolding(*IpAddress::Parse("192.0.2.200")), 0);
}

}  // namespace
}  // namespace velgate
