#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <cmath>
#include <cstring>

#include "model/linkshare_model.hpp"
#include "piece_source.hpp"
#include "textio/decimal.hpp"
#include "textio/int_reader.hpp"
#include "textio/records.hpp"

namespace {

using testing_support::PieceSource;

using textio::IntReader;
using Status = IntReader::Status;

bool is_separator_char(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Everything a reader yields until its first non-value.
struct Outcome {
  std::vector<std::int32_t> values;
  Status last = Status::end;
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::string excerpt;

  bool operator==(const Outcome& other) const {
    return values == other.values && last == other.last && line == other.line &&
           column == other.column && excerpt == other.excerpt;
  }
};

Outcome read_all(IntReader& reader) {
  Outcome outcome;
  std::int32_t value = 0;
  while ((outcome.last = reader.next(value)) == Status::value) outcome.values.push_back(value);
  outcome.line = reader.token_line();
  outcome.column = reader.token_column();
  if (outcome.last != Status::end) outcome.excerpt = reader.token_excerpt();
  return outcome;
}

Outcome read_text(const std::string& text) {
  IntReader reader("in", text);
  return read_all(reader);
}

// The same bytes read from a source in blocks of `block_size`.
Outcome read_blocks(const std::string& text, std::size_t block_size, std::size_t max_piece) {
  PieceSource source(text, max_piece);
  IntReader reader("in", source, block_size);
  return read_all(reader);
}

TEST(IntReader, ReadsWellFormedValues) {
  const struct {
    std::string text;
    std::vector<std::int32_t> values;
  } cases[] = {
      {"", {}},
      {" \t\r\n\v\f", {}},
      {"0", {0}},
      {"1 2\n3\t4", {1, 2, 3, 4}},
      {"+7 -7 -0 +0", {7, -7, 0, 0}},
      {"007 -0010 000", {7, -10, 0}},
      {"2147483647 -2147483648", {2147483647, -2147483647 - 1}},
      {"00000000000000000002147483647", {2147483647}},
      {"1\r\n2\r\n", {1, 2}},
      {"\v5\f6\r7", {5, 6, 7}},
      {"\xEF\xBB\xBF"
       "8 9",
       {8, 9}},  // a UTF-8 byte-order mark
      {"\xEF\xBB\xBF", {}},
  };
  for (const auto& c : cases) {
    const Outcome outcome = read_text(c.text);
    EXPECT_EQ(outcome.values, c.values) << '"' << c.text << '"';
    EXPECT_EQ(outcome.last, Status::end) << '"' << c.text << '"';
  }
}

TEST(IntReader, PositionsAndShowsBadTokens) {
  const struct {
    std::string text;
    Status status;
    std::uint64_t line;
    std::uint64_t column;
    std::string excerpt;
  } cases[] = {
      {"x5", Status::malformed, 1, 1, "x5"},
      {"1 2\n  -", Status::malformed, 2, 3, "-"},
      {"+", Status::malformed, 1, 1, "+"},
      {"--5", Status::malformed, 1, 1, "--5"},
      {"+-5", Status::malformed, 1, 1, "+-5"},
      {"12x 3", Status::malformed, 1, 1, "12x"},
      {"0x10", Status::malformed, 1, 1, "0x10"},
      {"1.5", Status::malformed, 1, 1, "1.5"},
      {"1,2", Status::malformed, 1, 1, "1,2"},
      {"1\r\n2\r\n\tz", Status::malformed, 3, 2, "z"},
      {std::string("4 5\0 6", 6), Status::malformed, 1, 3, "5\\x00"},
      {std::string("\0", 1), Status::malformed, 1, 1, "\\x00"},
      {"7 \xc3\xa9", Status::malformed, 1, 3, "\\xc3\\xa9"},
      {"2147483648", Status::out_of_range, 1, 1, "2147483648"},
      {"-2147483649", Status::out_of_range, 1, 1, "-2147483649"},
      {"1 99999999999999999999", Status::out_of_range, 1, 3, "99999999999999999999"},
      {"1 99999999999x", Status::malformed, 1, 3, "99999999999x"},
      {std::string(40, 'a'), Status::malformed, 1, 1, std::string(32, 'a') + "..."},
      {"\xEF\xBB\xBF"
       "1 q",
       Status::malformed, 1, 3, "q"},  // columns after the mark
      {"\xEF\xBB"
       "1",
       Status::malformed, 1, 1, "\\xef\\xbb1"},  // half a mark is no mark
      {"1 \xEF\xBB\xBF"
       "2",
       Status::malformed, 1, 3, "\\xef\\xbb\\xbf2"},  // only at the start
  };
  for (const auto& c : cases) {
    const Outcome outcome = read_text(c.text);
    EXPECT_EQ(outcome.last, c.status) << '"' << c.text << '"';
    EXPECT_EQ(outcome.line, c.line) << '"' << c.text << '"';
    EXPECT_EQ(outcome.column, c.column) << '"' << c.text << '"';
    EXPECT_EQ(outcome.excerpt, c.excerpt) << '"' << c.text << '"';
  }
}

TEST(IntReader, ReadMessagesNameWhatWasExpected) {
  const auto message = [](const std::string& text) {
    IntReader reader("data.in", text);
    std::int32_t value = 0;
    try {
      while (reader.read(value, [] { return "a count"; })) {
      }
    } catch (const textio::Error& error) {
      return std::string(error.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("1\n 2 q"), "data.in:2:4: expected a count, found 'q'");
  EXPECT_EQ(message("3000000000"),
            "data.in:1:1: a count '3000000000' is outside the 32-bit integer range "
            "(-2147483648 to 2147483647)");
  EXPECT_EQ(message("1 2"), "no error");
}

// Reads exactly what the C library's "%d" conversion reads from the same
// well-formed text.
TEST(IntReader, AgreesWithScanfOnWellFormedText) {
  std::mt19937_64 random(7);
  const char* separators[] = {" ", "\t", "\n", "\r\n", "\v", "\f", "  \n\t"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      const auto value = static_cast<std::int32_t>(random());
      std::string token = std::to_string(value);
      if (random() % 4 == 0) token.insert(value < 0 ? 1 : 0, random() % 5, '0');
      if (value >= 0 && random() % 4 == 0) token.insert(0, "+");
      text += token;
      text += separators[random() % 7];
    }
    const Outcome outcome = read_text(text);
    std::vector<std::int32_t> expected;
    const char* rest = text.c_str();
    int value = 0;
    int used = 0;
    while (std::sscanf(rest, "%d%n", &value, &used) == 1) {
      expected.push_back(value);
      rest += used;
    }
    ASSERT_EQ(outcome.values, expected) << text;
    ASSERT_EQ(outcome.last, Status::end);
  }
}

TEST(IntReader, RefusesUtf16) {
  for (const std::string& text : {std::string("\xFF\xFE"
                                              "1\0",
                                              4),
                                  std::string("\xFE\xFF\0"
                                              "1",
                                              4)}) {
    try {
      IntReader reader("data.in", text);
      FAIL() << "read UTF-16";
    } catch (const textio::Error& error) {
      EXPECT_NE(std::string(error.what()).find("data.in: the file is UTF-16 text"),
                std::string::npos);
      EXPECT_NE(std::string(error.what()).find("save it as UTF-8 or ANSI text"), std::string::npos);
    }
    PieceSource source(text, 1);  // the mark split over two reads
    EXPECT_THROW(IntReader("data.in", source, 64), textio::Error);
  }
}

// The reader's word-at-a-time digit path against std::from_chars, on
// millions of tokens of every length, sign and padding: the values must
// agree; and a token followed by any byte that is no separator, or beyond
// the 32-bit range, must be refused.
TEST(IntReader, AgreesWithFromCharsOnMillionsOfTokens) {
  std::mt19937_64 random(29);
  const auto make_token = [&random] {
    std::string token;
    if (random() % 4 == 0) token += random() % 2 == 0 ? '-' : '+';
    token.append(random() % 8 == 0 ? random() % 4 : 0, '0');
    const int digits = 1 + static_cast<int>(random() % 12);
    for (int d = 0; d < digits; ++d) token += static_cast<char>('0' + random() % 10);
    return token;
  };
  // What from_chars makes of the token: its value, or nothing if beyond 32 bits.
  const auto reference = [](const std::string& token, std::int64_t& value) {
    std::uint64_t magnitude = 0;
    const char* first = token.data() + (token[0] == '-' || token[0] == '+' ? 1 : 0);
    const auto [last, error] = std::from_chars(first, token.data() + token.size(), magnitude);
    if (error != std::errc() || magnitude > (token[0] == '-' ? 2147483648u : 2147483647u))
      return false;
    value = token[0] == '-' ? -static_cast<std::int64_t>(magnitude)
                            : static_cast<std::int64_t>(magnitude);
    return true;
  };
  const char separators[] = {' ', '\t', '\n', '\r', '\v', '\f'};
  for (int round = 0; round < 20; ++round) {
    std::string text;
    std::vector<std::int64_t> expected;
    while (expected.size() < 100000) {
      const std::string token = make_token();
      std::int64_t value = 0;
      if (!reference(token, value)) continue;
      text += token;
      text += separators[random() % 6];
      expected.push_back(value);
    }
    IntReader reader("in", text);
    std::int32_t value = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(reader.next(value), Status::value) << "token " << i;
      ASSERT_EQ(value, expected[i]) << "token " << i;
    }
  }
  const std::string padding(200, ' ');  // so that the token is read by the in-block path
  for (int i = 0; i < 300000; ++i) {
    const std::string token = make_token();
    const auto follower =
        static_cast<char>(random() % 4 == 0 ? separators[random() % 6] : random() % 256);
    if (follower >= '0' && follower <= '9') continue;  // it would be part of the token
    const std::string text = token + follower + padding;
    std::int64_t want = 0;
    const bool valid = reference(token, want) && is_separator_char(follower);
    IntReader reader("in", text);
    std::int32_t value = 0;
    const Status status = reader.next(value);
    ASSERT_EQ(status == Status::value, valid)
        << token << " followed by " << static_cast<int>(static_cast<unsigned char>(follower));
    if (valid) {
      ASSERT_EQ(value, want) << token;
    }
  }
}

// Tokens that straddle block boundaries, runs of zeros longer than a block
// and errors after many blocks read the same block by block as from memory,
// whatever pieces the source gives.
TEST(IntReader, ReadsSourcesInBlocksLikeMemory) {
  std::mt19937_64 random(11);
  std::vector<std::string> texts = {
      std::string(200, '0') + "42 " + std::string(150, '0') + " -" + std::string(300, '0') + "7",
      std::string(500, ' ') + "1\n" + std::string(190, '0') + "2147483648",
      "5 " + std::string(100, '0') + "123456789012",
      "1 2 3 " + std::string(70, 'z'),
      std::string(64, '0') + "1",
      // More significant digits than a block holds (found by fuzzing: the
      // digits were counted from the wrong place once the front was dropped).
      std::string(70, '1'),
      "2 1\n0 5\n0\n3 3\n0 3\n1 2\n1 1" + std::string(70, '4') + "\n",
  };
  for (int round = 0; round < 200; ++round) {
    std::string text = random() % 4 == 0 ? "\xEF\xBB\xBF" : "";
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) {
      text += std::to_string(static_cast<std::int32_t>(random()));
      text += random() % 3 == 0 ? "\r\n" : " ";
    }
    if (random() % 3 == 0) text += random() % 2 == 0 ? "oops" : "99999999999";
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const Outcome expected = read_text(text);
    for (const std::size_t block_size : {64, 65, 100, 4096}) {
      Outcome got = read_blocks(text, block_size, block_size % 7 == 0 ? 1 : 4096);
      // Excerpts of tokens longer than a block may lose their front.
      if (got.excerpt.rfind("...", 0) == 0) got.excerpt = expected.excerpt;
      EXPECT_EQ(got, expected) << "block " << block_size << ": " << text.substr(0, 80);
    }
  }
}

TEST(WriteDecimal, WritesWhatToCharsWrites) {
  std::mt19937_64 random(23);
  std::vector<std::int64_t> values = {0,
                                      1,
                                      -1,
                                      9,
                                      10,
                                      9999,
                                      10000,
                                      -10000,
                                      99999999,
                                      100000000,
                                      std::numeric_limits<std::int64_t>::max(),
                                      std::numeric_limits<std::int64_t>::min()};
  for (std::int64_t power = 1; power < 1000000000000000000; power *= 10) {
    for (const std::int64_t value : {power - 1, power, power + 1}) {
      values.push_back(value);
      values.push_back(-value);
    }
  }
  for (int i = 0; i < 2000000; ++i) {
    values.push_back(static_cast<std::int64_t>(random() >> (random() % 64)));
    values.push_back(-static_cast<std::int64_t>(random() >> (random() % 64)));
  }
  for (const std::int64_t value : values) {
    char expected[32];
    char got[32];
    const std::string_view want(
        expected,
        static_cast<std::size_t>(std::to_chars(expected, expected + 32, value).ptr - expected));
    ASSERT_EQ(
        std::string_view(got, static_cast<std::size_t>(textio::write_decimal(got, value) - got)),
        want);
  }
}

// Room is made for no more records than the input can hold: its size
// bounds it where it is known, a modest start where it is not (a pipe).
TEST(RecordsToReserve, NeverMoreThanTheInputCanHold) {
  const std::string text = "2000000000 5\n1 1\n";
  IntReader from_memory("in", text);
  EXPECT_EQ(textio::records_to_reserve(2000000000, from_memory), text.size() / 4 + 1);
  EXPECT_EQ(textio::records_to_reserve(3, from_memory), 3u);
  PieceSource pipe(text, 4);
  IntReader from_pipe("in", pipe, 64);
  EXPECT_EQ(from_pipe.size_bound(), textio::ByteSource::kUnknownSize);
  EXPECT_EQ(textio::records_to_reserve(2000000000, from_pipe), 4096u);
  EXPECT_EQ(textio::records_to_reserve(10, from_pipe), 10u);
}

// The 17-digit writer against printf's "%.17f", on the cases that matter.
TEST(WriteFixed17, MatchesPrintfAtEveryMagnitude) {
  const double cases[] = {0.0,
                          -0.0,
                          1.0 / 262144,  // a tie at the 18th decimal
                          0.5e-17,
                          1.5e-17,
                          2.5e-17,
                          1e-300,
                          std::numeric_limits<double>::denorm_min(),
                          0.1,
                          -2.0,
                          748950696.66666674613952637,
                          9007199254740993.0,
                          1e22,
                          -1e300,
                          std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::lowest()};
  for (const double value : cases) {
    char text[textio::kMaxFixed17Text];
    std::string expected = model::linkshare_line(value);
    expected.pop_back();
    EXPECT_EQ(std::string(text, textio::write_fixed17(text, value)), expected);
  }
}

// The fast exact method against the standard library's correctly rounded
// conversion, over millions of doubles of every magnitude, with ties and
// values one step on either side of them.
TEST(WriteFixed17, MatchesToCharsOnMillionsOfDoubles) {
  std::mt19937_64 random(17);
  const auto check = [](double value) {
    char want[textio::kMaxFixed17Text];
    char got[textio::kMaxFixed17Text];
    const std::string_view expected(
        want, static_cast<std::size_t>(
                  std::to_chars(want, want + sizeof want, value, std::chars_format::fixed, 17).ptr -
                  want));
    ASSERT_EQ(
        std::string_view(got, static_cast<std::size_t>(textio::write_fixed17(got, value) - got)),
        expected)
        << std::hexfloat << value;
  };
  for (int i = 0; i < 1000000; ++i) {
    // Any finite bit pattern: every exponent, subnormals included.
    std::uint64_t bits = random();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) check(value);
    // From 2^-113 up to 2^62, spread evenly over the exponents.
    check(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 123) - 113));
    // Times as the simulation makes them.
    check(static_cast<double>(random() % 4000000000) / static_cast<double>(1 + random() % 1000) -
          2e9);
    // Multiples of powers of two at and around the 18th decimal: exact ties.
    const double tie = std::ldexp(static_cast<double>(random() % 1000001),
                                  -(18 + static_cast<int>(random() % 40)));
    check(tie);
    check(std::nextafter(tie, 0.0));
    check(std::nextafter(tie, 1.0));
    check(-tie);
  }
  for (double value = 1e17; value < 1e19; value *= 1.0001)
    check(value);  // around the fast path's edge
  check(std::nextafter(1e18, 0.0));
  check(1e18);
}

}  // namespace
