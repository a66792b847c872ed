// The details of one time record, read from a real store.
#include "reporting/details_model.h"

#include <gtest/gtest.h>

#include "store/statements.h"
#include "support/store_fixture.h"

TEST(DetailsModel, TextsAndSpanLinesInStartOrderWithSecondsDropped) {
  StoreFixture env;
  const std::string path = env.CreateStore("Pocket");
  env.Run(path, {InsertAccountStatement(1, "Acme"), InsertItemStatement(10, 1, "Design"),
                 InsertTimeRecordStatement(5, PackDate(2003, 3, 15), 1, 10, "Logo draft"),
                 InsertTimeRecordStatement(6, PackDate(2003, 3, 16), 1, 99, ""),
                 InsertSpanStatement(5, 23 * 3600 + 30 * 60, 90),
                 InsertSpanStatement(5, 33340, 95),  // 09:15:40
                 InsertSpanStatement(4, 3600, 10),   // another record's
                 InsertSpanStatement(5, 33300, 0),   // 09:15:00, same minute as 09:15:40
                 InsertSpanStatement(5, 8 * 3600, 600)});
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket");
  store.Load();

  const DetailsModel details(store, 5, "Acme");
  ASSERT_TRUE(details.found());
  EXPECT_EQ(details.dateText(), "Saturday, March 15, 2003");
  EXPECT_EQ(details.accountItemText(), "Acme/Design");
  EXPECT_EQ(details.notes(), "Logo draft");
  EXPECT_EQ(DetailsModel(store, 6, "Acme").accountItemText(), "Acme");  // item without a name
  EXPECT_FALSE(DetailsModel(store, 7, "Acme").found());
  EXPECT_TRUE(DetailsModel::TimeLines(store, 6).empty());

  std::vector<std::string> texts;
  for (const DetailsTimeLine& line : DetailsModel::TimeLines(store, 5)) texts.push_back(line.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"8:00 AM-6:00 PM (10:00)", "9:15 AM-10:50 AM (1:35)",
                                             "9:15 AM-9:15 AM (0:00)", "11:30 PM-1:00 AM (1:30)"}));
  ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(DetailsModel::SpanLine({5, 33340, 95}).text, "09:15-10:50 (1:35)");
  EXPECT_EQ(DetailsModel::SpanLine({5, 600, -75}).text, "00:10-22:55 (-1:15)");
}
