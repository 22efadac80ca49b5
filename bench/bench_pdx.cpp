// Times the table reader on one table: opening and showing the last record, a scan of
// every record, and a scan that reads every field.
//   bench_pdx TABLE.db

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/pdx.h"

using namespace korvane;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_pdx TABLE.db\n");
    return 2;
  }
  try {
    auto t0 = std::chrono::steady_clock::now();
    {
      TPdx t;
      t.SetTableName(argv[1]);
      t.Open();
      t.Last();
      std::printf("open + last record:    %8.2f ms (record %d)\n", Ms(t0), t.RecNo());
    }
    TPdx t;
    t.SetTableName(argv[1]);
    t.Open();
    t.DisableControls();
    t0 = std::chrono::steady_clock::now();
    long n = 0;
    for (t.First(); !t.Eof(); t.Next()) ++n;
    std::printf("scan of %ld records: %8.2f ms\n", n, Ms(t0));
    t0 = std::chrono::steady_clock::now();
    alignas(8) char value[kAlphaBufferSize + 8];
    long nonNull = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      for (int i = 0; i < t.FieldCount(); ++i) {
        const TField& f = t.Fields(i);
        if (f.IsBlob()) {
          nonNull += t.CreateBlobStream(f, bmRead)->Size() > 0;
        } else {
          nonNull += f.GetData(value);
        }
      }
    }
    std::printf("scan reading fields:   %8.2f ms (%ld values)\n", Ms(t0), nonNull);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_pdx: %s\n", e.what());
    return 1;
  }
  return 0;
}
