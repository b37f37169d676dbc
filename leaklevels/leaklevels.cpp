#include "leaklevels/leaklevels.hpp"

#include "textio/decimal.hpp"

#include <string>

namespace leaklevels {
namespace {

std::string vase_field(const char* field, std::size_t index) {
  return std::string("the ") + field + " of vase " + std::to_string(index);
}

[[noreturn]] void fail_short(const textio::IntReader& reader, std::size_t announced,
                             std::size_t found, bool half) {
  std::string message = reader.name() + ": " + std::to_string(announced) + " vases announced, " +
                        std::to_string(found) + " found";
  if (half) message += " (vase " + std::to_string(found) + " has an amount but no loss)";
  throw textio::Error(message);
}

}  // namespace

Header read_header(textio::IntReader& reader) {
  Header header;
  if (!reader.read(header.count, [] { return "the number of vases"; })) {
    throw textio::Error(reader.name() +
                        ": the file is empty; expected the number of vases and the last step");
  }
  if (!reader.read(header.last_step, [] { return "the last step"; })) {
    throw textio::Error(reader.name() + ": the file ends before the last step");
  }
  return header;
}

void read_vases(textio::IntReader& reader, const Header& header, LevelTable& table,
                std::uint64_t capacity_hint) {
  if (header.count <= 0) return;
  const auto announced = static_cast<std::size_t>(header.count);
  table.reserve(announced < capacity_hint ? announced : capacity_hint);
  for (std::size_t i = 0; i < announced; ++i) {
    std::int32_t amount = 0;
    std::int32_t loss = 0;
    if (!reader.read(amount, [i] { return vase_field("amount", i); })) {
      fail_short(reader, announced, i, false);
    }
    if (amount < 0) {
      reader.fail_here(vase_field("amount", i) + " is " + std::to_string(amount) +
                       "; it cannot be negative");
    }
    if (!reader.read(loss, [i] { return vase_field("loss", i); })) {
      fail_short(reader, announced, i, true);
    }
    if (loss < 0) {
      reader.fail_here(vase_field("loss", i) + " is " + std::to_string(loss) +
                       "; it cannot be negative");
    }
    table.add(amount, loss);
  }
}

void write_levels(LevelTable& table, textio::OutputFile& output) {
  constexpr std::size_t kMaxLine = textio::kMaxDecimalText + textio::kLineEnd.size();
  table.walk([&output](std::int64_t level) {
    char* end = textio::write_decimal(output.begin_write(kMaxLine), level);
    output.end_write(textio::write_line_end(end));
  });
}

}  // namespace leaklevels
