#include <gtest/gtest.h>

#include <thread>

#include "CapturedOutput.h"
#include "PostgresServer.h"
#include "RecordSamples.h"
#include "ResultStore.h"
#include "ResultsCommand.h"
#include "RunKeeping.h"
#include "TableCells.h"

namespace rastro::testing {
namespace {

class PostgresStoreTest : public ::testing::Test {
 public:
  void SetUp() override { ASSERT_EQ(server.Problem(), ""); }
  PostgresServer server;
  ScratchDirectory scratch;
};

TEST_F(PostgresStoreTest, MachinesRecordIntoOneLabStoreAndEveryCommandReadsIt) {
  // Two machines open the new store at once: it is made once, and both runs land.
  RunRecord first = SampleRun(NewUuid(), "2024-06-01T09:00:00Z");
  RunRecord second = SampleRun(NewUuid(), "2024-06-02T09:00:00Z");
  second.adapter.description = "Radeon RX 6600";
  second.tests[0].passRates = {2000, 2001, 2002, 2003, 2004, 2005};
  second.tests[0].frameRates.assign(6, {1999.5, 2000.25});
  first.tests[0].passRates = {1000, 1001, 1002, 1003, 1004, 1005};
  first.tests[0].frameRates.assign(6, std::vector<double>(1000, 0.1));
  std::int64_t ids[2] = {};
  std::thread one([&] { ids[0] = OpenStore(server.Url())->Add(first); });
  std::thread two([&] { ids[1] = OpenStore(server.Url())->Add(second); });
  one.join();
  two.join();

  const std::unique_ptr<ResultStore> store = OpenStore(server.Url());
  EXPECT_EQ(store->SchemaVersion(), kSchemaVersion);
  EXPECT_EQ(store->Describe(), "PostgreSQL store " + RedactedUrl(server.Url()));
  EXPECT_EQ(store->Describe().find(PostgresServer::kPassword), std::string::npos);
  first.id = ids[0];
  second.id = ids[1];
  EXPECT_EQ(store->Get(ids[0]), first);  // every field, the awkward doubles and 1000 frame rates included
  EXPECT_EQ(store->Get(ids[1]), second);
  EXPECT_EQ(store->Add(first), ids[0]);
  const std::vector<RunListing> radeon = store->List({"radeon", "", "", 0});
  ASSERT_EQ(radeon.size(), 1u);
  EXPECT_EQ(radeon[0].id, ids[1]);

  CapturedOutput out;
  ResultsCommandEnvironment environment{"", out.File(), stderr, 1000};
  const std::string url = server.Url();
  EXPECT_EQ(RunResultsCommand(std::vector<std::string_view>{"compare", std::to_string(ids[0]), std::to_string(ids[1]),
                                                            "--store", url},
                              environment),
            0);
  const std::string text = out.Text();
  // 2002.5 / 1002.5 = 1.9975; the intervals [1000, 1005] and [2000, 2005] lie apart.
  EXPECT_EQ(Cells(text, "FFP - Pure fillrate"),
            (std::vector<std::string>{"FFP - Pure fillrate", "1002.5", "[1000.0, 1005.0]", "2002.5", "[2000.0, 2005.0]",
                                      "1.998", "faster"}))
      << text;
}

TEST_F(PostgresStoreTest, RefusedAndUnreachableServersLeaveRunsNotSentUntilPushed) {
  const std::string local = (scratch.Path() / "local.db").string();
  const std::string spool = SpoolDirectoryFor(local);
  const std::string unreachable =
      "postgresql:///postgres?host=" + (scratch.Path() / "no-server-here").string() + "&user=rastro";
  struct Case {
    std::string store;
    std::string cause;
  };
  const Case cases[] = {
      {server.Url("wrong"), "password authentication failed for user \"rastro\""},
      {unreachable, "No such file or directory"},
  };
  std::vector<std::string> uuids;
  for (const Case& c : cases) {
    const RunRecord run = SampleRun(NewUuid());
    uuids.push_back(run.uuid);
    const KeepingOutcome outcome = KeepRun(run, {c.store, local, spool, 1000});
    EXPECT_FALSE(outcome.stored);
    EXPECT_TRUE(outcome.kept);
    EXPECT_NE(outcome.message.find(c.cause), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("marked not sent; `rastrometer results push --store " + RedactedUrl(c.store)),
              std::string::npos)
        << outcome.message;
    EXPECT_EQ(outcome.message.find("wrong"), std::string::npos) << "a password shown: " << outcome.message;
  }
  ASSERT_EQ(OpenStore(local)->NotSent().size(), 2u);

  // Each to the store it was meant for: both still fail and stay marked.
  PushOutcome pushed = PushNotSent(local, spool, "");
  EXPECT_EQ(pushed.sent, 0);
  EXPECT_EQ(pushed.failed, 2);
  EXPECT_EQ(OpenStore(local)->NotSent().size(), 2u);

  // To the server with the right password: both land, and nothing waits any more.
  pushed = PushNotSent(local, spool, server.Url());
  EXPECT_EQ(pushed.sent, 2) << pushed.message;
  EXPECT_EQ(pushed.failed, 0) << pushed.message;
  EXPECT_TRUE(OpenStore(local)->NotSent().empty());
  const std::unique_ptr<ResultStore> lab = OpenStore(server.Url());
  std::vector<std::string> landed;
  for (const RunListing& listing : lab->List({})) landed.push_back(lab->Get(listing.id)->uuid);
  std::sort(landed.begin(), landed.end());
  std::sort(uuids.begin(), uuids.end());
  EXPECT_EQ(landed, uuids);
  EXPECT_EQ(PushNotSent(local, spool, server.Url()).message, "No runs wait to be sent.\n");
}

}  // namespace
}  // namespace rastro::testing
