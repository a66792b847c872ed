// A handheld whose databases are full: 65,535 records, the most a CE
// database holds, all copied by one synchronization; the next one refused.
#include <gtest/gtest.h>

#include <chrono>

#include "hostile/hostile_support.h"
#include "support/run_tool.h"

namespace {

using namespace hostile;

}  // namespace

TEST(HostileFullHandheld, SixtyFiveThousandFiveHundredThirtyFiveRecords) {
  HandheldFixture env;
  ToolRun generate = RunTool("horalog-handheld", {"generate", env.imagePath(), "--records", "65535",
                                                  "--accounts", "13", "--items-per-account", "7"});
  ASSERT_EQ(generate.status, 0) << generate.err;
  ASSERT_EQ(env.image.RecordCount("HLGroup"), kMaxCeRecords);
  ASSERT_EQ(env.image.RecordCount("HLTime"), kMaxCeRecords);

  // The 65,536th record and span are refused, by the library and the tool;
  // the databases keep what they had.
  const Status refused = env.image.PutRecord(65536, PackDate(2026, 12, 7), 1, 1, u"one too many");
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message(), "");
  EXPECT_FALSE(env.image.AddSpan(1, 3600, 10).ok());
  ToolRun extra = RunTool("horalog-handheld",
                          {"record", env.imagePath(), "65536", "2026-12-07", "1", "1", "x"});
  EXPECT_NE(extra.status, 0);
  EXPECT_NE(extra.err.find("65535"), std::string::npos) << extra.err;
  EXPECT_EQ(env.image.RecordCount("HLGroup"), kMaxCeRecords);
  EXPECT_EQ(env.image.RecordCount("HLTime"), kMaxCeRecords);
  // Replacing a record of a full database is no new record.
  std::vector<std::vector<CeValue>> records;
  ASSERT_TRUE(env.image.Records("HLGroup", &records).ok());
  const std::vector<CeValue>& last = records.back();
  EXPECT_TRUE(env.image
                  .PutRecord(last[0].integer, last[1].integer, last[2].integer, last[3].integer,
                             u"replaced")
                  .ok());

  const auto start = std::chrono::steady_clock::now();
  SyncRun run;
  RunSync(env, &run);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  // Kept in the test's XML output: how long a full handheld takes.
  RecordProperty("sync_seconds", static_cast<int>(seconds.count()));
  EXPECT_EQ(run.outcome, SyncProcedure::Outcome::Finished);
  EXPECT_EQ(run.view.messages, std::vector<std::string>{});
  EXPECT_EQ(run.view.statuses.back(), "Synchronization completed");
  EXPECT_EQ(Value(run.storePath, "SELECT count(*) FROM hlgroup"), "65535");
  EXPECT_EQ(Value(run.storePath, "SELECT count(*) FROM hltime"), "65535");
  EXPECT_EQ(Value(run.storePath, "SELECT count(*) FROM accountname"), "13");
  EXPECT_EQ(Value(run.storePath, "SELECT count(*) FROM itemname"), "91");
  EXPECT_EQ(Value(run.storePath, "SELECT count(DISTINCT id) FROM hlgroup"), "65535");
  EXPECT_EQ(Value(run.storePath,
                  "SELECT notes FROM hlgroup WHERE id = " + std::to_string(last[0].integer)),
            "replaced");
  // Every span belongs to a stored record.
  EXPECT_EQ(Value(run.storePath,
                  "SELECT count(*) FROM hltime WHERE parent NOT IN (SELECT id FROM "
                  "hlgroup)"),
            "0");
}
