// Engine benchmarks on generated tables (see bench/run.sh and docs/PERFORMANCE.md).
//
//   bench_engine --tables DIR [Google Benchmark flags]
//
// DIR holds the tables t10k.db, t100k.db and t1m.db (korvane-cli generate with the
// default ten fields). For each table present:
//   ReadFile      reading the .db file in 1 MB pieces (what `cat` does)
//   Scan          First .. Eof through the dataset cursor, every non-BLOB field's native value
//   ScanBlobs     the same, with every BLOB field's data through CreateBlobStream
//   RandomSetRecNo  100 000 SetRecNo to random record numbers after a first walk of the chain
//   OpenLast      open the table, go to the last record, read its fields, close
// and Write: writing 10 000, 100 000 and 1 000 000 generated records with TPdxWriter.
//   DetectCodePage  scoring the text of a table in every candidate code page, as
//                   opening a table does; also on the script tables s100k-NAME.db
//                   (generate --script NAME) when DIR holds them. Counters: the bytes
//                   the process read (read_MB) and the text examined (text_KB).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/language.h"
#include "engine/pdx.h"
#include "engine/pdxgenerate.h"
#include "platform/cpdetect.h"
#include "platform/textcodec.h"

namespace {

using namespace korvane;

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void OpenTable(TPdx& pdx, const std::string& path) {
  pdx.SetTableName(path);
  pdx.Open();
}

// Reads every field of the active record; BLOB data only when asked.
size_t ReadFields(TPdx& pdx, bool blobs) {
  alignas(16) static uint8_t buf[kAlphaBufferSize + 64];
  size_t sink = 0;
  for (int i = 0; i < pdx.FieldCount(); ++i) {
    const TField& f = pdx.Fields(i);
    if (f.IsBlob()) {
      if (blobs) sink += pdx.CreateBlobStream(f, bmRead)->Data().size();
      continue;
    }
    sink += pdx.GetFieldValue(f, buf) ? buf[0] : 1;
  }
  return sink;
}

void ReadFile(benchmark::State& state, std::string path) {
  std::vector<char> buf(1 << 20);
  uint64_t size = FileSize(path);
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDONLY);
    ssize_t n;
    uint64_t total = 0;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0) total += static_cast<uint64_t>(n);
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void Scan(benchmark::State& state, std::string path, bool blobs) {
  TPdx pdx;
  OpenTable(pdx, path);
  const int64_t records = pdx.RecordCount();
  const uint64_t size = FileSize(path);
  for (auto _ : state) {
    size_t sink = 0;
    for (pdx.First(); !pdx.Eof(); pdx.Next()) sink += ReadFields(pdx, blobs);
    benchmark::DoNotOptimize(sink);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.SetItemsProcessed(state.iterations() * records);
  state.counters["records"] = static_cast<double>(records);
}

void RandomSetRecNo(benchmark::State& state, std::string path) {
  TPdx pdx;
  OpenTable(pdx, path);
  const int records = pdx.RecordCount();
  pdx.Last();  // the first walk of the chain
  std::mt19937 rng(7);
  std::vector<int> targets(100000);
  for (int& t : targets) t = 1 + static_cast<int>(rng() % static_cast<unsigned>(records));
  for (auto _ : state) {
    size_t sink = 0;
    for (int t : targets) {
      pdx.SetRecNo(t);
      sink += ReadFields(pdx, false);
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(targets.size()));
}

void OpenLast(benchmark::State& state, std::string path) {
  for (auto _ : state) {
    TPdx pdx;
    OpenTable(pdx, path);
    pdx.Last();
    size_t sink = ReadFields(pdx, true);
    benchmark::DoNotOptimize(sink);
    pdx.Close();
  }
}

void Write(benchmark::State& state, std::string dir) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  std::vector<TPdxWriterField> fields = ParsePdxFieldSpec(kPdxDefaultFieldSpec);
  std::string path = dir + "/bench-write.db";
  uint64_t bytes = 0;
  for (auto _ : state) {
    TPdxWriterOptions opt;
    opt.BlockSizeKB = n > 500000 ? 4 : 2;
    opt.UpdateTime = 1700000000;
    TPdxWriter w(path, fields, opt);
    TPdxRowGenerator gen(fields, 1);
    TWriterRow row;
    for (uint32_t i = 0; i < n; ++i) {
      gen.Next(row);
      w.Append(row);
    }
    w.Finish();
    bytes = FileSize(path) + FileSize(w.MemoPath());
  }
  ::unlink(path.c_str());
  ::unlink((dir + "/bench-write.mb").c_str());
  state.SetItemsProcessed(state.iterations() * n);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Bytes this process has read through read(2) and pread(2) so far.
uint64_t BytesRead() {
  FILE* f = std::fopen("/proc/self/io", "r");
  if (!f) return 0;
  char line[128];
  unsigned long long n = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "rchar: %llu", &n) == 1) break;
  std::fclose(f);
  return n;
}

void DetectCodePage(benchmark::State& state, std::string path) {
  TPdx pdx;
  OpenTable(pdx, path);
  const int header = SourceCodePage(pdx, 0);
  const int driver = pdx.LanguageIndex() >= 1 ? LanguageDrivers[pdx.LanguageIndex()].CodePageNumber : 0;
  uint64_t read = 0, text = 0;
  for (auto _ : state) {
    const uint64_t before = BytesRead();
    const TCodePageGuess g = GuessCodePage(path, header, driver);
    read += BytesRead() - before;
    text += g.TextBytes;
    benchmark::DoNotOptimize(g.Verdict);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["read_MB"] = static_cast<double>(read) / n / 1048576.0;
  state.counters["text_KB"] = static_cast<double>(text) / n / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ".";
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tables") == 0 && i + 1 < argc) {
      dir = argv[++i];
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restc = static_cast<int>(rest.size());
  benchmark::Initialize(&restc, rest.data());

  for (const char* name : {"t10k", "t100k", "t1m"}) {
    std::string path = dir + "/" + name + ".db";
    if (FileSize(path) == 0) {
      std::fprintf(stderr, "bench_engine: %s not found, skipped\n", path.c_str());
      continue;
    }
    std::string n = name;
    benchmark::RegisterBenchmark(("ReadFile/" + n).c_str(), ReadFile, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("Scan/" + n).c_str(), Scan, path, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("ScanBlobs/" + n).c_str(), Scan, path, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("RandomSetRecNo/" + n).c_str(), RandomSetRecNo, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("OpenLast/" + n).c_str(), OpenLast, path)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("DetectCodePage/" + n).c_str(), DetectCodePage, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const char* script : {"cyrillic", "greek", "turkish", "hebrew", "arabic", "czech"}) {
    const std::string n = std::string("s100k-") + script;
    const std::string path = dir + "/" + n + ".db";
    if (FileSize(path) == 0) continue;
    benchmark::RegisterBenchmark(("DetectCodePage/" + n).c_str(), DetectCodePage, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RegisterBenchmark("Write", Write, dir)
      ->Arg(10000)
      ->Arg(100000)
      ->Arg(1000000)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
