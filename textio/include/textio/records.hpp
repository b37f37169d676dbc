// The shape both programs' inputs share: two header values, the first a
// count of records, then that many pairs of values. Reading it, and the
// messages about it, in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "int_reader.hpp"

namespace textio {

// How an input names its parts in messages, e.g. the downloads: header
// "the number of downloads" and "the link speed"; records "download" /
// "downloads"; pair fields "arrival time" and "size".
struct RecordNames {
  const char* count;         // the first header value
  const char* second;        // the second header value
  const char* record;        // one record
  const char* records;       // several
  const char* first_field;   // a record's first value
  const char* second_field;  // its second
  const char* has_first;     // "an arrival time": what a record cut short has
};

// "the <field> of <record> <index>".
inline std::string field_name(std::string_view field, std::string_view record,
                              std::uint64_t index) {
  std::string name = "the ";
  name += field;
  name += " of ";
  name += record;
  name += ' ';
  name += std::to_string(index);
  return name;
}

// Reads the two header values; `check_count` sees the count before the
// second is read, so that its messages point at it. An input with no values
// is "empty"; one that ends after the first names what is missing.
template <class CheckCount>
void read_header(IntReader& reader, const RecordNames& names, std::int32_t& count,
                 std::int32_t& second, CheckCount&& check_count) {
  if (!reader.read(count, [&] { return names.count; })) {
    reader.fail(std::string("the file is empty; expected ") + names.count + " and " + names.second);
  }
  check_count(count);
  if (!reader.read(second, [&] { return names.second; })) {
    reader.fail(std::string("the file ends before ") + names.second);
  }
}

// Reads the pair of record `index`, one of `announced`; check(field, value)
// sees each value as it is read, so that its messages point at it. An input
// that ends first says how many records it held.
template <class CheckValue>
void read_pair(IntReader& reader, const RecordNames& names, std::uint64_t index,
               std::uint64_t announced, std::int32_t& first, std::int32_t& second,
               CheckValue&& check) {
  const auto short_input = [&](bool half) {
    std::string message = std::to_string(announced) + " " + names.records + " announced, " +
                          std::to_string(index) + " found";
    if (half) {
      message += std::string(" (") + names.record + " " + std::to_string(index) + " has " +
                 names.has_first + " but no " + names.second_field + ")";
    }
    reader.fail(message);
  };
  if (!reader.read(first, [&] { return field_name(names.first_field, names.record, index); })) {
    short_input(false);
  }
  check(names.first_field, first);
  if (!reader.read(second, [&] { return field_name(names.second_field, names.record, index); })) {
    short_input(true);
  }
  check(names.second_field, second);
}

// Throws "<where>: <what> is <value>; it cannot be negative" at the value
// just read.
inline void require_non_negative(const IntReader& reader, std::int32_t value,
                                 const std::string& what) {
  if (value < 0) {
    reader.fail_here(what + " is " + std::to_string(value) + "; it cannot be negative");
  }
}

// How many records to make room for before reading them: the count
// announced, but never more than the input can hold (a record takes at least
// four bytes, "0 0" and a separator), so that a false header reserves nothing
// the input cannot fill. Where the input's size is unknown (a pipe), a modest
// start; the storage grows as records arrive.
inline std::size_t records_to_reserve(std::uint64_t announced, const IntReader& reader) {
  const std::uint64_t bound = reader.size_bound();
  const std::uint64_t can_hold = bound == ByteSource::kUnknownSize ? 4096 : bound / 4 + 1;
  return static_cast<std::size_t>(announced < can_hold ? announced : can_hold);
}

}  // namespace textio
