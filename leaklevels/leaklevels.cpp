#include "leaklevels/leaklevels.hpp"

#include <string>

#include "textio/decimal.hpp"
#include "textio/records.hpp"

namespace leaklevels {
namespace {

constexpr textio::RecordNames kNames{
    "the number of vases", "the last step", "vase", "vases", "amount", "loss", "an amount"};

std::string progress_line(std::uint64_t written, std::uint64_t total) {
  return textio::grouped(written) + " of " + textio::grouped(total) + " steps written (" +
         textio::percent(written, total) + ")";
}

}  // namespace

void run(textio::IntReader& input, textio::TextSink& output, textio::Progress& meter,
         Picture* picture) {
  std::int32_t count = 0;
  std::int32_t last_step = 0;
  textio::read_header(input, kNames, count, last_step, [](std::int32_t) {});
  LevelTable table(last_step);
  if (count > 0) {
    const auto announced = static_cast<std::uint64_t>(count);
    table.reserve(textio::records_to_reserve(announced, input));
    for (std::uint64_t i = 0; i < announced; ++i) {
      std::int32_t amount = 0;
      std::int32_t loss = 0;
      textio::read_pair(input, kNames, i, announced, amount, loss,
                        [&input, i](const char* field, std::int32_t value) {
                          if (value < 0) {
                            textio::require_non_negative(
                                input, value, textio::field_name(field, kNames.record, i));
                          }
                        });
      table.add(amount, loss);
      if (meter.due()) {
        meter.show(textio::grouped(i) + " of " + textio::grouped(announced) + " vases read");
      }
    }
  }

  if (picture != nullptr)
    picture->begin(last_step, count > 0 ? static_cast<std::uint64_t>(count) : 0);
  constexpr std::size_t kMaxLine = textio::kMaxDecimalText + textio::kLineEnd.size();
  const std::uint64_t lines = last_step > 0 ? std::uint64_t(last_step) + 1 : 1;
  std::uint64_t written = 0;
  table.walk([&](std::int64_t level) {
    char* end = textio::write_decimal(output.begin_write(kMaxLine), level);
    output.end_write(textio::write_line_end(end));
    ++written;
    if (picture != nullptr) picture->add(level);
    if (meter.due()) meter.show(progress_line(written, lines));
  });
  if (picture != nullptr) {
    auto [first_few, count_dry] = table.dry_steps(Picture::kMostMarks);
    picture->dry_steps(std::move(first_few), count_dry);
  }
}

}  // namespace leaklevels
