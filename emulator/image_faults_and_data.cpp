// The faults an emulated handheld's image shows (failing opens, counts,
// seeks and reads, a slow connection) and the made-up data it can be filled
// with: what tests, demos and benchmarks stage in an image.
#include <array>
#include <random>

#include "emulator/handheld_image.h"
#include "emulator/image_file.h"
#include "platform/utf16.h"
#include "store/ole_date.h"

using namespace image_file;

namespace {

constexpr std::array<const char*, 5> kFaultWords = {"open", "count", "seek", "read", "short"};

const char* FaultWord(HandheldFault what) { return kFaultWords[static_cast<size_t>(what)]; }

bool FaultFromWord(const std::string& word, HandheldFault* out) {
  for (size_t i = 0; i < kFaultWords.size(); ++i) {
    if (word == kFaultWords[i]) {
      *out = static_cast<HandheldFault>(i);
      return true;
    }
  }
  return false;
}

bool IsHandheldDatabase(const std::string& name) {
  for (const char* known : kHandheldDatabases) {
    if (name == known) return true;
  }
  return false;
}

}  // namespace

Status HandheldImage::Generate(const HandheldGenerateOptions& o) {
  if (o.records < 0 || o.spansPerRecord < 0 || o.accounts < 0 || o.itemsPerAccount < 0) {
    return Status::Failure("counts must not be negative");
  }
  if (o.records > kMaxCeRecords || o.accounts > kMaxCeRecords ||
      (o.itemsPerAccount > 0 && o.accounts > kMaxCeRecords / o.itemsPerAccount) ||
      (o.spansPerRecord > 0 && o.records > kMaxCeRecords / o.spansPerRecord)) {
    return Status::Failure("a database holds at most " + std::to_string(kMaxCeRecords) +
                           " records");
  }
  static const char* const kWords[] = {"meeting", "call",   "review", "draft",  "client",
                                       "report",  "design", "travel", "notes",  "follow-up",
                                       "budget",  "plan",   "fix",    "weekly", "site visit"};
  // The C++ standard fixes the engine's output to the bit, so a seed gives the
  // same image everywhere; the distributions are not, so none is used.
  std::mt19937 random(o.seed);
  auto pick = [&random](uint32_t n) { return static_cast<int32_t>(random() % n); };
  return Done(Write([&](Connection& c) {
    CeOid oids[4];
    for (size_t i = 0; i < 4; ++i) {
      const int rc = LookUpDatabase(c, kHandheldDatabases[i], &oids[i]);
      if (rc == SQLITE_DONE) return NoDatabase(kHandheldDatabases[i]);
      if (rc != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    }
    if (!Query(c, "DELETE FROM records").Run()) return Fail(c, "cannot write " + path_);
    const int64_t items = o.accounts * o.itemsPerAccount;
    const int64_t spans = o.records * o.spansPerRecord;
    const int64_t counts[4] = {o.accounts, items, o.records, spans};
    for (size_t i = 0; i < 4; ++i) {
      Query q(c, "UPDATE databases SET count = ?2 WHERE oid = ?1");
      if (!q.Int(1, oids[i]).Int(2, counts[i]).Run()) return Fail(c, "cannot write " + path_);
    }
    for (int32_t a = 1; a <= o.accounts; ++a) {
      if (!InsertRecord(c, oids[0],
                        AccountValues(a, u"Account " + Utf8ToUtf16(std::to_string(a))))) {
        return Fail(c, "cannot write " + path_);
      }
      for (int32_t i = 1; i <= o.itemsPerAccount; ++i) {
        const int32_t id = static_cast<int32_t>((a - 1) * o.itemsPerAccount + i);
        const std::u16string name =
            Utf8ToUtf16("Item " + std::to_string(a) + "." + std::to_string(i));
        if (!InsertRecord(c, oids[1], ItemValues(id, a, name))) {
          return Fail(c, "cannot write " + path_);
        }
      }
    }
    constexpr int64_t kFirstDay = 12053;  // 2003-01-01
    for (int32_t r = 1; r <= o.records; ++r) {
      int year, month, day;
      CivilFromDays(kFirstDay + pick(3 * 365), &year, &month, &day);
      const int32_t account = o.accounts > 0 ? 1 + pick(static_cast<uint32_t>(o.accounts)) : 0;
      const int32_t item = o.itemsPerAccount > 0
                               ? static_cast<int32_t>((account - 1) * o.itemsPerAccount) + 1 +
                                     pick(static_cast<uint32_t>(o.itemsPerAccount))
                               : 0;
      std::string notes;
      for (int32_t w = pick(8); w > 0; --w) {
        if (!notes.empty()) notes += ' ';
        notes += kWords[pick(std::size(kWords))];
      }
      if (!InsertRecord(c, oids[2],
                        RecordValues(r, year * 65536 + month * 256 + day, account, item,
                                     Utf8ToUtf16(notes)))) {
        return Fail(c, "cannot write " + path_);
      }
      for (int32_t s = 0; s < o.spansPerRecord; ++s) {
        const int32_t start = 7 * 3600 + pick(11 * 3600);
        const int32_t minutes = 5 + pick(236);
        if (!InsertRecord(c, oids[3], SpanValues(r, start, minutes))) {
          return Fail(c, "cannot write " + path_);
        }
      }
    }
    return true;
  }));
}

Status HandheldImage::SetFault(HandheldFault what, const std::string& database, int64_t n) {
  if (!IsHandheldDatabase(database)) {
    return Status::Failure("no database " + database);
  }
  if (what == HandheldFault::Open || what == HandheldFault::Count) n = 0;
  if (n < 0) {
    return Status::Failure("a record position is not negative");
  }
  return Done(Write([&](Connection& c) {
    Query q(c, "INSERT OR IGNORE INTO faults VALUES (?1, ?2, ?3)");
    return q.Text(1, FaultWord(what)).Text(2, database).Int(3, n).Run() ||
           Fail(c, "cannot write " + path_);
  }));
}

Status HandheldImage::SetDelay(int milliseconds) {
  if (milliseconds < 0) {
    return Status::Failure("a delay is not negative");
  }
  return Done(Write([&](Connection& c) {
    return Query(c, "UPDATE settings SET value = ?1 WHERE name = 'delay'")
               .Int(1, milliseconds)
               .Run() ||
           Fail(c, "cannot write " + path_);
  }));
}

Status HandheldImage::ClearFaults() {
  return Done(Write([&](Connection& c) {
    return (Query(c, "DELETE FROM faults").Run() &&
            Query(c, "UPDATE settings SET value = 0 WHERE name = 'delay'").Run()) ||
           Fail(c, "cannot write " + path_);
  }));
}

Status HandheldImage::Faults(std::vector<HandheldFaultEntry>* out) {
  out->clear();
  return Done(Read([&](Connection& c) {
    Query q(c, "SELECT what, db, n FROM faults");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      HandheldFaultEntry entry;
      // A word this program does not know is a fault it cannot show.
      if (!FaultFromWord(q.row().ColumnText(0), &entry.what)) continue;
      entry.database = q.row().ColumnText(1);
      entry.n = q.row().ColumnInt64(2);
      out->push_back(std::move(entry));
    }
    return rc == SQLITE_DONE || Fail(c, "cannot read " + path_);
  }));
}

int HandheldImage::Delay() {
  int delay = -1;
  Read([&](Connection& c) {
    Query q(c, "SELECT value FROM settings WHERE name = 'delay'");
    if (q.Step() != SQLITE_ROW) return Fail(c, "cannot read " + path_);
    delay = static_cast<int>(q.row().ColumnInt64(0));
    return true;
  });
  return delay;
}
