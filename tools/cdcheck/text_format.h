// Small helpers for the wording of findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik::cdcheck {

// "line 4", "lines 4 and 5", "lines 4 to 7".
std::string LineRange(std::size_t first, std::size_t last);

// "a", "a and b", "a, b and c".
std::string JoinWithAnd(const std::vector<std::string>& items);

// "1 file", "2 files"; "1 entry", "2 entries" with the plural given.
std::string Counted(std::uint64_t count, const char* singular,
                    const char* plural = nullptr);

// "0x0D".
std::string HexByte(unsigned char byte);

}  // namespace orvik::cdcheck
