// Code lengths and canonical codes for the archive's Huffman tables.
//
// The decoder assigns codes canonically: shorter codes first, equal lengths in symbol order, each
// code read most significant bit first. A length of 0 means the symbol is absent.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace media::writer {

// Optimal code lengths for the given symbol frequencies, none longer than max_length. Symbols of
// frequency 0 get length 0. When only one symbol occurs, a second one gets a code too, so that the
// code is always complete (every bit pattern decodes to a symbol) whenever it is used at all.
std::vector<std::uint8_t> BuildCodeLengths(std::span<const std::uint32_t> freqs, int max_length);

// The canonical codes for the lengths (value in the low `length` bits).
std::vector<std::uint16_t> CanonicalCodes(std::span<const std::uint8_t> lengths);

// Sum of freq × length: the bits the symbols cost under the lengths. A used symbol with no code
// costs kNoCode bits, which makes such a choice lose any comparison.
inline constexpr std::uint64_t kNoCode = 1u << 24;
std::uint64_t CodedBits(std::span<const std::uint32_t> freqs, std::span<const std::uint8_t> lengths);

}  // namespace media::writer
