// The texts of the details dialog.
#include "reporting/details_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/locale_format.h"

namespace {

constexpr int kMinutesPerDay = 1440;

int MinuteOfDay(int64_t minutes) {
  return static_cast<int>(((minutes % kMinutesPerDay) + kMinutesPerDay) % kMinutesPerDay);
}

}  // namespace

DetailsModel::DetailsModel(const RecordStore& store, int32_t recordId,
                           const std::string& accountText) {
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.id != recordId) continue;
    found_ = true;
    dateText_ = FormatPackedDate(record.grpdate, DateForm::Long);
    accountItemText_ = AccountItemText(accountText, store.ItemName(record.item));
    notes_ = record.notes;
    break;
  }
}

std::string DetailsModel::AccountItemText(const std::string& accountText,
                                          const std::string& itemName) {
  return itemName.empty() ? accountText : accountText + "/" + itemName;
}

DetailsTimeLine DetailsModel::SpanLine(const TimeSpan& span) {
  const int start = span.starttime / 60;
  const int64_t length = std::abs(static_cast<int64_t>(span.duration));
  const std::string from = FormatTimeOfDay(MinuteOfDay(start) * 60);
  const std::string to = FormatTimeOfDay(MinuteOfDay(int64_t{start} + span.duration) * 60);
  char lengthText[48];
  std::snprintf(lengthText, sizeof lengthText, "%s%lld:%02lld", span.duration < 0 ? "-" : "",
                static_cast<long long>(length / 60), static_cast<long long>(length % 60));
  return {from + "-" + to + " (" + lengthText + ")", start};
}

std::vector<DetailsTimeLine> DetailsModel::TimeLines(const RecordStore& store, int32_t recordId) {
  std::vector<DetailsTimeLine> lines;
  for (size_t position : store.SpansOf(recordId)) {
    lines.push_back(SpanLine(store.timeSpans()[position]));
  }
  // Each line goes before the first with a later start: a stable sort.
  std::stable_sort(lines.begin(), lines.end(),
                   [](const DetailsTimeLine& a, const DetailsTimeLine& b) {
                     return a.startMinute < b.startMinute;
                   });
  return lines;
}
