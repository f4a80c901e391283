// The record file's share of one installation: parse a scene's tree, apply
// its translation table, write the tree back.
#include <benchmark/benchmark.h>

#include <string>

#include "app/desktop.h"
#include "formats/xrc.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {
namespace {

void appendU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

// A root with `count` speech children, each with a 40-byte text and a tail.
std::string makeRecordFile(int count) {
  std::string out;
  auto record = [&](uint8_t type1, uint16_t children, const std::string& subString) {
    out.push_back(static_cast<char>(type1));
    out.push_back(0);
    appendU16(out, 1);
    appendU16(out, 4);
    out += "name";
    const uint32_t s = static_cast<uint32_t>(subString.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(s >> (8 * i)));
    out += subString;
    appendU16(out, children);
    appendU16(out, 0);
  };
  record(9, static_cast<uint16_t>(count), "");
  std::string speech;
  appendU16(speech, 40);
  speech += std::string(40, 't') + "tail";
  for (int i = 0; i < count; ++i) record(29, 0, speech);
  return out;
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
  for (auto _ : state) {
    state.PauseTiming();
    auto xrc = load(bytes);
    state.ResumeTiming();
    applyTrz(*xrc, trz);
    benchmark::DoNotOptimize(xrc->records.back()->data.subStringLength);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}
BENCHMARK(ApplyTrz)->Arg(1000)->Arg(60000);

}  // namespace
}  // namespace vh

BENCHMARK_MAIN();
