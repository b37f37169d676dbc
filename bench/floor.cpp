// The floor under both programs: reads the input in the blocks they read
// and writes as many output bytes as they write, through the same safe
// replacement (a new file beside the output, renamed over it), and computes
// nothing. What the programs take beyond this is their own work.
//
//   floor INPUT OUTPUT BYTES
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: floor INPUT OUTPUT BYTES\n", stderr);
    return 2;
  }
  std::FILE* input = std::fopen(argv[1], "rb");
  if (input == nullptr) return 1;
  std::vector<char> block(std::size_t{1} << 18);
  unsigned long long seen = 0;
  for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), input)) > 0;) {
    seen += static_cast<unsigned char>(block[got - 1]);
  }
  std::fclose(input);

  const std::string temporary = std::string(argv[2]) + ".floor.tmp";
  std::FILE* output = std::fopen(temporary.c_str(), "wb");
  if (output == nullptr) return 1;
  std::setvbuf(output, nullptr, _IONBF, 0);
  const char line[] = "1234567.89012345678901234\n";
  for (std::size_t at = 0; at < block.size(); ++at) block[at] = line[at % (sizeof line - 1)];
  for (unsigned long long left = std::strtoull(argv[3], nullptr, 10); left > 0;) {
    const std::size_t part = left < block.size() ? static_cast<std::size_t>(left) : block.size();
    if (std::fwrite(block.data(), 1, part, output) != part) return 1;
    left -= part;
  }
  if (std::fclose(output) != 0 || std::rename(temporary.c_str(), argv[2]) != 0) return 1;
  return seen == 1 ? 3 : 0;  // keeps the reading from being optimised away
}
