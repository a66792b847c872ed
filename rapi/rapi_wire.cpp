// The classic RAPI protocol as it travels.
#include "rapi/rapi_wire.h"

namespace {

// A string sent as an argument is at most this long, in UTF-16 units.
constexpr uint32_t kMaxStringUnits = 64 * 1024;

}  // namespace

std::u16string RapiUnits(const std::vector<uint8_t>& raw) {
  std::u16string text;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    const auto c = static_cast<char16_t>(RapiLe16(raw.data() + i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

bool RapiReader::U16(uint16_t* v) {
  const uint8_t* p = Skip(2);
  if (p) *v = RapiLe16(p);
  return p != nullptr;
}

bool RapiReader::U32(uint32_t* v) {
  const uint8_t* p = Skip(4);
  if (p) *v = RapiLe32(p);
  return p != nullptr;
}

bool RapiReader::Bytes(size_t n, std::vector<uint8_t>* out) {
  const uint8_t* p = Skip(n);
  if (p) out->assign(p, p + n);
  return p != nullptr;
}

const uint8_t* RapiReader::Skip(size_t n) {
  if (size_ - pos_ < n) return nullptr;
  // Nothing taken from nothing is still taken.
  static const uint8_t kEmpty = 0;
  const uint8_t* p = data_ ? data_ + pos_ : &kEmpty;
  pos_ += n;
  return p;
}

bool RapiReader::String(std::u16string* out, bool absentAllowed) {
  uint32_t present = 0, units = 0;
  if (!U32(&present)) return false;
  out->clear();
  if (present == 0 && absentAllowed) return true;
  if (present != 1 || !U32(&units) || units > kMaxStringUnits) return false;
  std::vector<uint8_t> raw;
  if (!Bytes(static_cast<size_t>(units) * 2, &raw)) return false;
  *out = RapiUnits(raw);
  return true;
}

bool RapiReader::Optional(RapiParam* p) {
  uint32_t have = 0, sent = 0;
  if (!U32(&have)) return false;
  p->present = have == 1;
  p->size = 0;
  p->value.clear();
  if (!p->present) return have == 0;
  if (!U32(&p->size) || !U32(&sent) || sent > 1) return false;
  return sent == 0 || Bytes(p->size, &p->value);
}

bool RapiReader::AnswerStart(uint32_t* hresult) {
  uint32_t failed = 0;
  *hresult = 0;
  return U32(&failed) && (failed != 1 || U32(hresult));
}

RapiWriter RapiWriter::Answer() {
  RapiWriter w;
  w.U32(0);
  return w;
}

RapiWriter RapiWriter::Failure(uint32_t hresult) {
  RapiWriter w;
  w.U32(1);
  w.U32(hresult);
  return w;
}

RapiWriter RapiWriter::Request(RapiCommand command) {
  RapiWriter w;
  w.U32(static_cast<uint32_t>(command));
  return w;
}

void RapiWriter::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void RapiWriter::U32(uint32_t v) {
  for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void RapiWriter::Units(const std::u16string& text) {
  for (char16_t c : text) U16(c);
}

void RapiWriter::Result(int32_t result) {
  U32(static_cast<uint32_t>(result));
  U32(static_cast<uint32_t>(result));
}

void RapiWriter::Optional(const uint8_t* data, uint32_t n) {
  U32(1);
  U32(n);
  U32(1);
  Bytes(data, n);
}

void RapiWriter::Optional(const RapiWriter& fields) {
  Optional(fields.bytes_.data(), static_cast<uint32_t>(fields.bytes_.size()));
}

void RapiWriter::OptionalU32(uint32_t v) {
  RapiWriter le;
  le.U32(v);
  Optional(le);
}

void RapiWriter::OptionalU32(const RapiParam& asked, uint32_t v) {
  if (asked.present)
    OptionalU32(v);
  else
    U32(0);
}

void RapiWriter::OptionalText(const RapiParam& asked, const std::u16string& text) {
  if (!asked.present) return U32(0);
  RapiWriter units;
  units.Units(text);
  units.U16(0);
  Optional(units);
}

void RapiWriter::OptionalZeros(const RapiParam& asked, uint32_t n) {
  if (!asked.present) return U32(0);
  const std::vector<uint8_t> zeros(n);
  Optional(zeros.data(), n);
}

void RapiWriter::AppendPacket(std::vector<uint8_t>* out) const {
  const auto n = static_cast<uint32_t>(bytes_.size());
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<uint8_t>(n >> (8 * k)));
  out->insert(out->end(), bytes_.begin(), bytes_.end());
}

void AppendRecordReadRequest(const RapiRecordReadRequest& request, std::vector<uint8_t>* out) {
  RapiWriter w = RapiWriter::Request(RapiCommand::ReadRecordProps);
  w.U32(request.handle);
  w.U32(request.flags);
  for (int unused = 0; unused < 3; ++unused) w.U32(0);
  w.U16(0);
  w.AppendPacket(out);
}

bool ReadRecordReadRequest(RapiReader& in, RapiRecordReadRequest* request) {
  uint32_t unused = 0;
  uint16_t none = 0;
  return in.U32(&request->handle) && in.U32(&request->flags) && in.U32(&unused) &&
         in.U32(&unused) && in.U32(&unused) && in.U16(&none);
}

void WriteRecordReadAnswer(uint32_t lastError, uint32_t record, uint16_t count,
                           const std::vector<uint8_t>& values, RapiWriter& out) {
  out.U32(lastError);
  out.U32(record);
  out.U32(static_cast<uint32_t>(values.size()));
  out.U16(count);
  out.Bytes(values.data(), values.size());
}

bool ReadRecordReadAnswer(RapiReader& in, RapiRecordReadAnswer* answer) {
  if (!in.U32(&answer->lastError) || !in.U32(&answer->record) || !in.U32(&answer->size) ||
      !in.U16(&answer->count)) {
    return false;
  }
  answer->values = in.Skip(answer->size);
  return answer->values != nullptr;
}
