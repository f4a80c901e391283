// The record file's share of one installation: parse a scene's tree, apply
// its translation table, write the tree back.
#include <benchmark/benchmark.h>

#include <string>

#include "common/report.h"
#include "fixtures/fixture_bytes.h"
#include "formats/xrc.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {
namespace {

// A root with `count` speech children, each with a 40-byte text and a tail.
std::string makeRecordFile(int count) {
  std::vector<fixture::Record> records;
  records.push_back({9, 0, 1, "name", "", static_cast<uint16_t>(count), 0});
  const std::string speech = fixture::embeddedText("", std::string(40, 't'), "tail");
  for (int i = 0; i < count; ++i) records.push_back({29, 0, 1, "name", speech, 0, 0});
  return fixture::recordFile(records);
}

std::shared_ptr<tXRC> load(const std::string& bytes) {
  auto xrc = tXRC::Create("s.xrc", 0, static_cast<int32_t>(bytes.size()), nullptr);
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  xrc->Load(in);
  return xrc;
}

void LoadAndSave(benchmark::State& state) {
  const std::string bytes = makeRecordFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto xrc = load(bytes);
    auto buffer = std::make_shared<ByteBuffer>();
    BufferStream out(buffer);
    xrc->saveHeader(out);
    xrc->save(out);
    benchmark::DoNotOptimize(buffer->size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(LoadAndSave)->Arg(1000)->Arg(60000);

void ApplyTrz(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string bytes = makeRecordFile(count);
  tTrz trz;
  for (int i = 1; i <= count; ++i) {
    tTransRecord e;
    e.recId = i;
    e.typeId = kKindSpeech;
    e.value = std::string(30, '\xC4');
    trz.records.push_back(e);
  }
  StandardErrorReporter report;
  for (auto _ : state) {
    state.PauseTiming();
    auto xrc = load(bytes);
    state.ResumeTiming();
    applyTrz(*xrc, trz, report);
    benchmark::DoNotOptimize(xrc->records.back()->data.subStringLength);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(ApplyTrz)->Arg(1000)->Arg(60000);

}  // namespace
}  // namespace vh

