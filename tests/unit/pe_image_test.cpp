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
// address 0x1000, holding the export directory, its name table and names,
// then the import descriptors and their names.
class Image {
 public:
  static constexpr std::size_t pe = 0x40, optional = pe + 24, sections = optional + 224;
  static constexpr std::size_t raw = 0x200, address = 0x1000;
  static constexpr std::size_t exports = raw, export_names = raw + 0x40, imports = raw + 0x100;

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
    put(optional + 96, 4, rva(exports));
    put(optional + 104, 4, rva(imports));
    put(sections + 8, 4, 0x200);
    put(sections + 12, 4, address);
    put(sections + 16, 4, 0x200);
    put(sections + 20, 4, raw);

    const Names exported{"load", "request", "unload"};
    put(exports + 24, 4, exported.size());
    put(exports + 32, 4, rva(export_names));
    std::size_t text = raw + 0x60;
    for (std::size_t k = 0; k < exported.size(); ++k, text += 0x10) {
      put(export_names + 4 * k, 4, rva(text));
      bytes.replace(text, exported[k].size(), exported[k]);
    }
    const Names imported{"KERNEL32.dll", "msvcrt.dll"};
    text = raw + 0x180;
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
  Names exports;
};

const Names whole_imports{"KERNEL32.dll", "msvcrt.dll"};
const Names whole_exports{"load", "request", "unload"};

const Case cases[] = {
    {"Whole", [](Image&) {}, PeImage::x86, whole_imports, whole_exports},
    {"NoMz", [](Image& i) { i.bytes[0] = 'X'; }, PeImage::not_a_dll, {}, {}},
    {"HeaderPastTheEnd", [](Image& i) { i.put(0x3c, 4, 0xfffffff0); }, PeImage::not_a_dll, {}, {}},
    {"CutInTheHeader", [](Image& i) { i.bytes.resize(Image::pe + 6); }, PeImage::not_a_dll, {}, {}},
    {"NotADll", [](Image& i) { i.put(Image::pe + 22, 2, 0x0102); }, PeImage::not_a_dll, {}, {}},
    {"SixtyFourBit", [](Image& i) { i.put(Image::pe + 4, 2, 0x8664); }, PeImage::bits_64, {}, {}},
    {"Arm", [](Image& i) { i.put(Image::pe + 4, 2, 0x1c4); }, PeImage::other_processor, {}, {}},
    {"NoDirectories", [](Image& i) { i.put(Image::optional + 92, 4, 0); }, PeImage::x86, {}, {}},
    // Damaged tables: addresses no section holds, names running into the
    // end of the file, counts far beyond what is there.
    {"ImportNamePastTheEnd", [](Image& i) { i.put(Image::imports + 12, 4, 0x7fffffff); }, PeImage::x86, {},
     whole_exports},
    {"ImportNameAtTheLastByte",
     [](Image& i) {
       i.bytes.resize(Image::raw + 0x1a0 + 3);  // "msv", no zero byte
     },
     PeImage::x86, {"KERNEL32.dll", "msv"}, whole_exports},
    {"DescriptorAtTheLastBytes",
     [](Image& i) {
       const std::size_t last = i.bytes.size() - 16;  // no room for the next one
       i.put(Image::optional + 104, 4, Image::rva(last));
       i.put(last + 12, 4, Image::rva(Image::raw + 0x180));
     },
     PeImage::x86, {"KERNEL32.dll"}, whole_exports},
    {"SectionTablePastTheEnd", [](Image& i) { i.put(Image::pe + 20, 2, 0xfff0); }, PeImage::x86, {}, {}},
    {"HugeExportCount", [](Image& i) { i.put(Image::exports + 24, 4, 0xffffffff); }, PeImage::x86, whole_imports,
     {"load", "request", "unload"}},
    {"ExportNameTablePastTheEnd", [](Image& i) { i.put(Image::exports + 32, 4, 0x1000 + 0x1fe); }, PeImage::x86,
     whole_imports, {}},
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
  EXPECT_EQ(read.exports, GetParam().exports);
}

INSTANTIATE_TEST_SUITE_P(Cases, PeImageTest, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace speech_check
