// make_sample PATH RECORDS [SEED]: writes a version-2 sample catalogue.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/error_state.h"
#include "tools/make_sample/sample_catalogue.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: make_sample PATH RECORDS [SEED]\n");
    return 2;
  }
  char* end = nullptr;
  const unsigned long records = std::strtoul(argv[2], &end, 10);
  if (*argv[2] == '\0' || *end != '\0' || records > 0xFFFFFFFFul) {
    std::fprintf(stderr, "make_sample: RECORDS must be a number\n");
    return 2;
  }
  const unsigned long long seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
  const auto start = std::chrono::steady_clock::now();
  const int32_t rc = vantrose::WriteSampleCatalogue(argv[1], static_cast<uint32_t>(records), seed);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (rc != 0) {
    std::fprintf(stderr, "make_sample: error %d (%s)\n", rc, std::string(vantrose::Errors().text).c_str());
    return 1;
  }
  std::printf("wrote %lu records to %s (%llu bytes) in %.2f s\n", records, argv[1],
              static_cast<unsigned long long>(std::filesystem::file_size(argv[1])), seconds);
  return 0;
}
