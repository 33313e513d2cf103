// speech-check's reading of a DLL's own header, on whole and damaged images.
// Each image is read from a heap block of exactly its size, so that
// AddressSanitizer reports any read past its end.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/pe_image.h"

namespace speech_check {
namespace {

using Names = std::vector<std::string>;

// A 32-bit x86 DLL: headers, one section at file offset 0x200 mapped to
// address 0x1000, holding the import descriptors and their names.
class Image {
 public:
  static constexpr std::size_t pe = 0x40, optional = pe + 24, sections = optional + 224;
  static constexpr std::size_t raw = 0x200, address = 0x1000;
  static constexpr std::size_t imports = raw + 0x100;

  Image() : bytes(raw + 0x200, '\0') {
    put(0, 2, 0x5a4d);
    put(0x3c, 4, pe);
    put(pe, 4, 0x4550);
    put(pe + 4, 2, 0x14c);     // x86
    put(pe + 6, 2, 1);         // one section
    put(pe + 20, 2, 224);      // optional header size
    put(pe + 22, 2, 0x2102);   // executable, 32-bit, DLL
    put(optional, 2, 0x10b);   // PE32
    put(optional + 92, 4, 16); // data directories
    put(optional + 104, 4, rva(imports));
    put(sections + 8, 4, 0x200);
    put(sections + 12, 4, address);
    put(sections + 16, 4, 0x200);
    put(sections + 20, 4, raw);

    const Names imported{"KERNEL32.dll", "msvcrt.dll"};
    std::size_t text = raw + 0x180;
    for (std::size_t k = 0; k < imported.size(); ++k, text += 0x20) {
      put(imports + 20 * k + 12, 4, rva(text));
      bytes.replace(text, imported[k].size(), imported[k]);
    }
  }

  static std::uint32_t rva(std::size_t offset) { return static_cast<std::uint32_t>(offset - raw + address); }

  void put(std::size_t at, int width, std::uint64_t value) {
    for (int k = 0; k < width; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k) & 0xff);
  }

  std::string bytes;
};

struct Case {
  const char* name;
  std::function<void(Image&)> damage;
  PeImage::Kind kind;
  Names imports;
};

const Names whole_imports{"KERNEL32.dll", "msvcrt.dll"};
const std::string longest(PeLimits::name_length, 'a');
constexpr std::size_t longest_names = PeLimits::name_bytes / PeLimits::name_length;

// The import table replaced by `count` descriptors, each naming `name`,
// the section grown to hold them.
std::function<void(Image&)> importing(std::size_t count, const std::string& name) {
  return [=](Image& i) {
    const std::size_t table = i.bytes.size(), text = table + 20 * (count + 1);
    i.bytes.resize(text);
    i.bytes += name + '\0';
    for (std::size_t k = 0; k < count; ++k) i.put(table + 20 * k + 12, 4, Image::rva(text));
    i.put(Image::optional + 104, 4, Image::rva(table));
    i.put(Image::sections + 8, 4, i.bytes.size() - Image::raw);
    i.put(Image::sections + 16, 4, i.bytes.size() - Image::raw);
  };
}

const Case cases[] = {
    {"Whole", [](Image&) {}, PeImage::x86, whole_imports},
    {"NoMz", [](Image& i) { i.bytes[0] = 'X'; }, PeImage::not_a_dll, {}},
    {"HeaderPastTheEnd", [](Image& i) { i.put(0x3c, 4, 0xfffffff0); }, PeImage::not_a_dll, {}},
    {"CutInTheHeader", [](Image& i) { i.bytes.resize(Image::pe + 6); }, PeImage::not_a_dll, {}},
    {"NotADll", [](Image& i) { i.put(Image::pe + 22, 2, 0x0102); }, PeImage::not_a_dll, {}},
    {"SixtyFourBit", [](Image& i) { i.put(Image::pe + 4, 2, 0x8664); }, PeImage::bits_64, {}},
    {"Arm", [](Image& i) { i.put(Image::pe + 4, 2, 0x1c4); }, PeImage::other_processor, {}},
    {"NoDirectories", [](Image& i) { i.put(Image::optional + 92, 4, 0); }, PeImage::x86, {}},
    // Damaged tables: addresses no section holds, names running into the
    // end of the file.
    {"ImportNamePastTheEnd", [](Image& i) { i.put(Image::imports + 12, 4, 0x7fffffff); }, PeImage::x86, {}},
    {"ImportNameAtTheLastByte",
     [](Image& i) {
       i.bytes.resize(Image::raw + 0x1a0 + 3);  // "msv", no zero byte
     },
     PeImage::x86, {"KERNEL32.dll", "msv"}},
    {"DescriptorAtTheLastBytes",
     [](Image& i) {
       const std::size_t last = i.bytes.size() - 16;  // no room for the next one
       i.put(Image::optional + 104, 4, Image::rva(last));
       i.put(last + 12, 4, Image::rva(Image::raw + 0x180));
     },
     PeImage::x86, {"KERNEL32.dll"}},
    {"SectionTablePastTheEnd", [](Image& i) { i.put(Image::pe + 20, 2, 0xfff0); }, PeImage::x86, {}},
    // The section ends just before the first name: that name's address is
    // held by no section.
    {"NameAtTheSectionsEnd",
     [](Image& i) {
       i.put(Image::sections + 8, 4, 0x180);
       i.put(Image::sections + 16, 4, 0x180);
     },
     PeImage::x86, {}},
    // An x86 file with a PE32+ header: its tables are not where a PE32's are.
    {"Pe32PlusHeaderOnX86", [](Image& i) { i.put(Image::optional, 2, 0x20b); }, PeImage::x86, {}},
    // What no real DLL has, the crafted image first: 65,536 names, each the
    // same run of 1 MiB. Read no further, whichever bound it passes.
    {"CraftedHugeNames", importing(65536, std::string(1 << 20, 'A')), PeImage::not_a_dll, {}},
    {"NameLongerThanAnyDll", importing(1, longest + 'a'), PeImage::not_a_dll, {}},
    {"MostSectionsAnyDllHas", [](Image& i) { i.put(Image::pe + 6, 2, PeLimits::sections); }, PeImage::x86,
     whole_imports},
    {"MoreSectionsThanAnyDll", [](Image& i) { i.put(Image::pe + 6, 2, PeLimits::sections + 1); }, PeImage::not_a_dll,
     {}},
    {"MoreNamesThanAnyDll", importing(PeLimits::names + 1, "a.dll"), PeImage::not_a_dll, {}},
    {"MoreNameBytesThanAnyDll", importing(longest_names + 1, longest), PeImage::not_a_dll, {}},
    {"LongestNamesStillRead", importing(longest_names, longest), PeImage::x86, Names(longest_names, longest)},
};

class PeImageTest : public testing::TestWithParam<Case> {};

TEST_P(PeImageTest, ReadsOnlyWhatTheBytesHold) {
  Image image;
  GetParam().damage(image);
  const std::size_t size = image.bytes.size();
  const std::unique_ptr<char[]> block(new char[size]);
  std::memcpy(block.get(), image.bytes.data(), size);

  const PeImage read = read_pe_image(block.get(), size);
  EXPECT_EQ(read.kind, GetParam().kind);
  EXPECT_EQ(read.imports, GetParam().imports);
}

INSTANTIATE_TEST_SUITE_P(Cases, PeImageTest, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace speech_check
