#include "platform/db/Classes.h"

#include <gtest/gtest.h>

#include "platform/db/EnumSet.h"

namespace {

TEST(MemoryStreamTest, ReadsWritesAndSeeksLikeAFile) {
  TMemoryStream stream;
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(stream.Position(), 5);
  EXPECT_EQ(stream.Seek(-2, TSeekOrigin::soEnd), 3);
  stream.WriteBuffer("LO!", 3);
  EXPECT_EQ(stream.Bytes(), "helLO!");
  stream.SetPosition(8);  // past the end: the gap fills with zeros
  stream.WriteBuffer("x", 1);
  EXPECT_EQ(stream.Bytes(), std::string("helLO!\0\0x", 9));
  EXPECT_EQ(stream.Seek(-100, TSeekOrigin::soCurrent), 9);  // refused: stays
  stream.SetSize(3);
  EXPECT_EQ(stream.Position(), 3);
  EXPECT_EQ(stream.Size(), 3);
  stream.SetPosition(1);
  EXPECT_EQ(stream.ReadRest(), "el");
  char buffer[4];
  EXPECT_EQ(stream.Read(buffer, 4), 0);
  stream.SetPosition(1);
  EXPECT_THROW(stream.ReadBuffer(buffer, 4), EReadError);
  try {
    stream.ReadBuffer(buffer, 4);
  } catch (const EReadError& error) {
    EXPECT_STREQ(error.what(), "Stream read error");
  }
}

TEST(EnumSetTest, MembersCombineLikeSets) {
  enum class E : uint8_t { a, b, c };
  const TEnumSet<E> ab{E::a, E::b};
  const TEnumSet<E> bc{E::b, E::c};
  EXPECT_TRUE(ab.Contains(E::a));
  EXPECT_FALSE(ab.Contains(E::c));
  EXPECT_EQ(ab + bc, (TEnumSet<E>{E::a, E::b, E::c}));
  EXPECT_EQ(ab * bc, TEnumSet<E>{E::b});
  EXPECT_EQ(ab - bc, TEnumSet<E>{E::a});
  EXPECT_TRUE((ab - ab).Empty());
  TEnumSet<E> s;
  s.Include(E::c).Include(E::a).Exclude(E::a);
  EXPECT_EQ(s, TEnumSet<E>{E::c});
  EXPECT_EQ(s.Bits(), 4u);
}

}  // namespace
