// Byte strings shared by every part of the plug-in.
//
// Every text the plug-in handles (request lines, header names and values,
// arguments, results, paths) is a run of bytes with an explicit length. No
// character set is assumed and nothing is converted: std::string_view and
// std::string are used purely as byte containers. Their comparisons go through
// std::char_traits<char>, which the language defines to compare as unsigned
// char, so ordering is byte-wise and a prefix sorts before any longer name.
//
// The containers take a memory resource, so that everything one request
// needs can come from a buffer on the stack (see plugin/request_memory.h);
// made without one, they use the heap like their std counterparts.
#pragma once

#include <cstdint>
#include <map>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

namespace saori {

using ByteView = std::string_view;
using ByteString = std::pmr::string;

// Arguments of a request, entry 0 being the command word. The entries are
// views into the request text they were parsed from.
using ArgumentList = std::pmr::vector<ByteView>;

// Values written as "Value<i>" lines of a response.
using ValueList = std::pmr::vector<ByteView>;

// Header name to value, ordered byte-wise, each name at most once.
using HeaderMap = std::pmr::map<ByteView, ByteView, std::less<>>;

// Protocol status code (200, 400, 500, ...).
using StatusCode = std::uint32_t;

// Text of the "Result: " line; empty means the line is not written.
using ResultText = ByteString;

}  // namespace saori
