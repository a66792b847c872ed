// The one status type: a success keeps its success code and has no words; a
// failure keeps its code and words, and one with no failure code of its own
// is kFailed.
#include "platform/status.h"

#include <gtest/gtest.h>

TEST(Status, SuccessOrAFailureWithItsCodeAndWords) {
  struct Case {
    Status status;
    bool ok;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {Status::Ok(), true, 0, ""},
      {Status::Ok(0x00040EC6), true, 0x00040EC6, ""},  // a success that says more
      {Status::Ok(-5), true, 0, ""},                   // never a failure code
      {Status::Failure(static_cast<int32_t>(0x80040E2Fu), "UNIQUE constraint failed"), false,
       static_cast<int32_t>(0x80040E2Fu), "UNIQUE constraint failed"},
      {Status::Failure("no such file"), false, Status::kFailed, "no such file"},
      {Status::Failure(0, "a success code is no failure"), false, Status::kFailed,
       "a success code is no failure"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status.ok(), c.ok) << c.message;
    EXPECT_EQ(c.status.code(), c.code) << c.message;
    EXPECT_EQ(c.status.message(), c.message);
  }
  EXPECT_EQ(Status::kFailed, static_cast<int32_t>(0x80004005u));
}
