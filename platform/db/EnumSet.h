// A set of the values of one small enumeration, standing for the platform's set types
// (TLocateOptions, TIndexOptions, TFilterOptions ...): built from a braced list of members.
#pragma once

#include <cstdint>
#include <initializer_list>

// E: an enum class whose members are numbered 0..63.
template <class E>
class TEnumSet {
public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> members) {
    for (E member : members) Bits_ |= Bit(member);
  }

  constexpr bool Contains(E member) const { return (Bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return Bits_ == 0; }
  constexpr TEnumSet& Include(E member) { Bits_ |= Bit(member); return *this; }
  constexpr TEnumSet& Exclude(E member) { Bits_ &= ~Bit(member); return *this; }

  constexpr TEnumSet operator+(TEnumSet other) const { return FromBits(Bits_ | other.Bits_); }  // union
  constexpr TEnumSet operator*(TEnumSet other) const { return FromBits(Bits_ & other.Bits_); }  // intersection
  constexpr TEnumSet operator-(TEnumSet other) const { return FromBits(Bits_ & ~other.Bits_); } // difference
  constexpr bool operator==(const TEnumSet& other) const = default;

  constexpr uint64_t Bits() const { return Bits_; }  // bit n = member n
  static constexpr TEnumSet FromBits(uint64_t bits) {
    TEnumSet result;
    result.Bits_ = bits;
    return result;
  }

private:
  static constexpr uint64_t Bit(E member) { return uint64_t{1} << static_cast<unsigned>(member); }

  uint64_t Bits_ = 0;  // one bit per member
};
