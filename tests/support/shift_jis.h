// Shift_JIS (code page 932) bytes of a UTF-8 text, produced by the C
// library's iconv at test time, so that message constants are checked
// against an independent encoder rather than against themselves.
#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

inline std::string to_shift_jis(const std::string& utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no CP932");
  std::string out(utf8.size() * 2 + 16, '\0');
  char* in_pointer = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char* out_pointer = out.data();
  std::size_t out_left = out.size();
  const std::size_t done = iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left);
  iconv_close(converter);
  if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed: " + utf8);
  out.resize(out.size() - out_left);
  return out;
}
