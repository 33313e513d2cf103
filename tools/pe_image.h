// What a file's own header says it is: a Windows DLL, for which processor,
// and for a 32-bit x86 one the DLLs it imports from. Read from the file's
// bytes alone, without the system's loader, so a damaged or foreign file is
// described and never run. Every read is checked against the bytes' end,
// and what is taken from one file is bounded: a file whose tables go beyond
// what any DLL holds is read no further and counts as no DLL, in a time and
// memory that do not grow with what its tables claim.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace speech_check {

struct PeImage {
  // not_a_dll: no Windows DLL, or one whose tables no real DLL has.
  enum Kind { not_a_dll, x86, bits_64, other_processor } kind = not_a_dll;
  std::vector<std::string> imports;  // the DLLs imported from
};

// What a real DLL stays within: Windows' loader takes at most 96 sections;
// an imported DLL's name is a file name, at most MAX_PATH; a DLL imports
// from tens of DLLs, not thousands.
struct PeLimits {
  static constexpr std::uint32_t sections = 96;
  static constexpr std::size_t name_length = 260;
  static constexpr std::size_t names = 1024;
  static constexpr std::size_t name_bytes = 64 * 1024;  // all names together
};

inline PeImage read_pe_image(const char* data, std::size_t size) {
  PeImage image;
  // Little-endian numbers; 0 outside the bytes.
  const auto number = [&](std::size_t at, int width) -> std::uint32_t {
    if (at > size || size - at < static_cast<std::size_t>(width)) return 0;
    std::uint32_t value = 0;
    for (int k = width - 1; k >= 0; --k) value = value << 8 | static_cast<unsigned char>(data[at + k]);
    return value;
  };
  if (number(0, 2) != 0x5a4d) return image;  // "MZ"
  const std::size_t pe = number(0x3c, 4);
  if (number(pe, 4) != 0x4550) return image;  // "PE\0\0"
  const std::uint32_t machine = number(pe + 4, 2);
  const std::uint32_t sections = number(pe + 6, 2);
  const std::size_t optional = pe + 24;
  const std::size_t section_table = optional + number(pe + 20, 2);
  if ((number(pe + 22, 2) & 0x2000) == 0) return image;  // not a DLL
  switch (machine) {
    case 0x14c: image.kind = PeImage::x86; break;
    case 0x8664: case 0x200: case 0xaa64:  // x86-64, Itanium, ARM64
      image.kind = PeImage::bits_64;
      return image;
    default: image.kind = PeImage::other_processor; return image;
  }
  if (sections > PeLimits::sections) return PeImage{};

  // The data directories of a PE32 image; addresses are mapped to file
  // offsets through the section table. An address no section holds maps
  // past the end.
  if (number(optional, 2) != 0x10b) return image;
  const std::uint32_t directories = number(optional + 92, 4);
  const auto offset_of = [&](std::uint32_t address) -> std::size_t {
    for (std::uint32_t k = 0; k < sections; ++k) {
      const std::size_t section = section_table + 40 * std::size_t{k};
      const std::uint32_t start = number(section + 12, 4);
      const std::uint32_t length = std::max(number(section + 8, 4), number(section + 16, 4));
      if (address >= start && address - start < length) {
        return std::size_t{number(section + 20, 4)} + (address - start);
      }
    }
    return size;
  };

  // Each import descriptor names a DLL; a zero name address ends the
  // table. A name ends at its zero byte or at the end of the bytes, and is
  // looked for no further than the longest name there is.
  if (directories >= 2) {
    std::size_t descriptor = offset_of(number(optional + 104, 4));
    std::size_t taken = 0;
    for (; number(descriptor + 12, 4) != 0; descriptor += 20) {
      const std::size_t name = offset_of(number(descriptor + 12, 4));
      if (name >= size) break;
      const char* const end = data + std::min(size, name + PeLimits::name_length + 1);
      const std::size_t length = std::find(data + name, end, '\0') - (data + name);
      taken += length;
      if (length > PeLimits::name_length || image.imports.size() == PeLimits::names ||
          taken > PeLimits::name_bytes) {
        return PeImage{};
      }
      image.imports.emplace_back(data + name, length);
    }
  }
  return image;
}

}  // namespace speech_check
