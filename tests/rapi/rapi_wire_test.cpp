// The RAPI wire format both ends use: what one end writes the other reads
// back, and every body cut short is refused, never read past.
#include "rapi/rapi_wire.h"

#include <gtest/gtest.h>

namespace {

// The body of the first packet in bytes, its length checked.
std::vector<uint8_t> Body(const std::vector<uint8_t>& packet) {
  EXPECT_GE(packet.size(), kRapiLengthSize);
  EXPECT_EQ(RapiLe32(packet.data()), packet.size() - kRapiLengthSize);
  return {packet.begin() + kRapiLengthSize, packet.end()};
}

}  // namespace

TEST(RapiWire, RecordReadsGoBothWaysAndACutBodyIsRefused) {
  std::vector<uint8_t> packet;
  AppendRecordReadRequest({0x01020304, 0x80}, &packet);
  ASSERT_EQ(packet.size(), 30u);  // a length of 26, then the body
  std::vector<uint8_t> body = Body(packet);
  RapiReader request(body);
  uint32_t command = 0;
  RapiRecordReadRequest read;
  ASSERT_TRUE(request.U32(&command) && ReadRecordReadRequest(request, &read));
  EXPECT_EQ(command, static_cast<uint32_t>(RapiCommand::ReadRecordProps));
  EXPECT_EQ(read.handle, 0x01020304u);
  EXPECT_EQ(read.flags, 0x80u);
  EXPECT_EQ(request.Skip(1), nullptr);

  const std::vector<uint8_t> values = {1, 2, 3, 4, 5};
  RapiWriter out = RapiWriter::Answer();
  WriteRecordReadAnswer(0, 77, 2, values, out);
  packet.clear();
  out.AppendPacket(&packet);
  body = Body(packet);
  for (size_t cut = 0; cut <= body.size(); ++cut) {
    RapiReader in(body.data(), cut);
    uint32_t hresult = 1;
    RapiRecordReadAnswer answer;
    const bool whole = in.AnswerStart(&hresult) && ReadRecordReadAnswer(in, &answer);
    EXPECT_EQ(whole, cut == body.size()) << cut;
    if (!whole) continue;
    EXPECT_EQ(hresult, 0u);
    EXPECT_EQ(answer.record, 77u);
    EXPECT_EQ(answer.count, 2);
    EXPECT_EQ(std::vector<uint8_t>(answer.values, answer.values + answer.size), values);
  }

  packet.clear();
  RapiWriter::Failure(0x80004001u).AppendPacket(&packet);
  body = Body(packet);
  RapiReader failure(body);
  uint32_t hresult = 0;
  EXPECT_TRUE(failure.AnswerStart(&hresult));
  EXPECT_EQ(hresult, 0x80004001u);
}

TEST(RapiWire, StringsAndOptionalsAsEitherEndWritesThem) {
  RapiWriter out;
  RapiParam asked;
  asked.present = true;
  out.OptionalText(asked, u"ab");
  out.OptionalU32(RapiParam{}, 5);  // not asked: 0
  out.OptionalU32(asked, 0xA0B0C0D0u);
  // A string argument: 1, its units with the terminator, the units; and 0
  // for none.
  out.U32(1), out.U32(3), out.Units(u"ab"), out.U16(0), out.U32(0);
  std::vector<uint8_t> packet;
  out.AppendPacket(&packet);
  const std::vector<uint8_t> body = Body(packet);

  RapiReader in(body);
  RapiParam text, none, word;
  ASSERT_TRUE(in.Optionals(&text, &none, &word));
  EXPECT_TRUE(text.present);
  EXPECT_EQ(text.size, 6u);
  EXPECT_EQ(RapiUnits(text.value), u"ab");
  EXPECT_FALSE(none.present);
  EXPECT_EQ(word.U32(), 0xA0B0C0D0u);
  std::u16string s = u"x";
  EXPECT_TRUE(in.String(&s));
  EXPECT_EQ(s, u"ab");
  RapiReader absent = in;
  EXPECT_TRUE(in.String(&s, true));
  EXPECT_EQ(s, u"");
  EXPECT_FALSE(absent.String(&s));  // none where one is required
  EXPECT_FALSE(in.String(&s, true));
}
