// The XMG codec's throughput beside the system's JPEG library on the same
// pixels: a 1024 x 768 photographic picture and a sprite that is mostly mask
// colour. The JPEG runs are registered first; each XMG run then reports its
// rate as a multiple of its JPEG peer's ("x_jpeg"), measured in the same run.
//
// The codec's row passes exist once per x86-64 level. Every XMG run also
// times the codec as it was before them (xmg_before_rows.h) on the same
// picture, the two taking turns within the run, and reports its rate as a
// multiple of that code's ("x_before"); before timing, it checks that the
// two give the same bytes. The rows without a level run the level in use
// (VHPATCH_CODEC_LEVEL or the processor's best), XmgDecode/photo/v2 and the
// like each level this processor runs, so that the baseline's row shows
// what a processor without SSE4 or AVX2 gets.
//
// Every rate is of the thread's processor time, not the wall clock's: on a
// machine shared with other work, the time the thread waits for a processor
// would otherwise fall on whichever side it happened to.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <time.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/byte_buffer.h"
#include "common/pixel_map.h"
#include "common/stream.h"
#include "bench/xmg_before_rows.h"
#include "xmg/codec_level.h"
#include "xmg/xmg.h"

namespace vh {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kJpegQuality = 90;

// Smooth gradients with a little noise, the same on every run.
PixelMap photo() {
  PixelMap map(kWidth, kHeight);
  uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 24) % 17) - 8;
  };
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* p = map.row(y);
    for (int x = 0; x < kWidth; ++x, p += 3) {
      const double u = x / 160.0, v = y / 120.0;
      const double base[3] = {128 + 70 * std::sin(u + 0.3 * v), 120 + 60 * std::sin(0.7 * u - v + 1),
                              110 + 80 * std::cos(0.5 * u + 0.8 * v)};
      for (int c = 0; c < 3; ++c) {
        const int value = static_cast<int>(base[c]) + noise();
        p[c] = static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
      }
    }
  }
  return map;
}

// The photograph inside an ellipse of about a sixth of the area; mask colour
// around it.
PixelMap sprite() {
  PixelMap map = photo();
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* p = map.row(y);
    for (int x = 0; x < kWidth; ++x, p += 3) {
      const double dx = (x - kWidth / 2) / (kWidth * 0.23), dy = (y - kHeight / 2) / (kHeight * 0.23);
      if (dx * dx + dy * dy > 1) {
        p[0] = tXMGEncoder::MASK_R;
        p[1] = tXMGEncoder::MASK_G;
        p[2] = tXMGEncoder::MASK_B;
      }
    }
  }
  return map;
}

const PixelMap& picture(const std::string& name) {
  static const PixelMap photoMap = photo();
  static const PixelMap spriteMap = sprite();
  return name == "photo" ? photoMap : spriteMap;
}

std::string encodeXmg(const PixelMap& map) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  tXMGEncoder().saveXMG(map, out);
  return buffer->toString();
}

std::vector<uint8_t> packedRgb(const PixelMap& map) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < map.height(); ++y) rgb.insert(rgb.end(), map.row(y), map.row(y) + map.width() * 3);
  return rgb;
}

// Into `out` when it is large enough (the library allocates otherwise);
// returns the size written.
size_t encodeJpegInto(const std::vector<uint8_t>& rgb, std::vector<uint8_t>& out) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* into = out.data();
  unsigned long outSize = out.size();
  jpeg_mem_dest(&cinfo, &into, &outSize);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + static_cast<size_t>(cinfo.next_scanline) * kWidth * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  if (into != out.data()) {
    out.assign(into, into + outSize);
    std::free(into);
  }
  return outSize;
}

std::string encodeJpeg(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> out;
  const size_t size = encodeJpegInto(rgb, out);
  return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
}

void decodeJpeg(const std::string& bytes, std::vector<uint8_t>& rgb) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  rgb.resize(static_cast<size_t>(cinfo.output_width) * cinfo.output_height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rgb.data() + static_cast<size_t>(cinfo.output_scanline) * cinfo.output_width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

// Megapixels per second of each JPEG run, by "decode/photo" and the like.
std::map<std::string, double>& jpegRates() {
  static std::map<std::string, double> rates;
  return rates;
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Body>
double secondsOf(Body& body) {
  const double start = threadSeconds();
  body();
  return threadSeconds() - start;
}

double megapixelsOf(const benchmark::State& state) {
  return static_cast<double>(kWidth) * kHeight * static_cast<double>(state.iterations()) / 1e6;
}

// Runs `body` under the benchmark loop and sets the megapixel rate; returns
// that rate.
template <typename Body>
double timed(benchmark::State& state, Body body) {
  double seconds = 0;
  for (auto _ : state) seconds += secondsOf(body);
  const double rate = seconds > 0 ? megapixelsOf(state) / seconds : 0;
  state.counters["Mpx/s"] = rate;
  return rate;
}

// `ours` and the code before the row passes in turns under the benchmark
// loop, each first every other time, so that whatever else the machine does
// falls on both alike. Sets our rate, and that rate over the older code's
// and over the JPEG peer's of `key`.
template <typename Ours, typename Before>
void timedAgainstBefore(benchmark::State& state, const std::string& key, Ours ours, Before before) {
  double oursSeconds = 0, beforeSeconds = 0;
  bool oursFirst = true;
  for (auto _ : state) {
    if (oursFirst) oursSeconds += secondsOf(ours);
    beforeSeconds += secondsOf(before);
    if (!oursFirst) oursSeconds += secondsOf(ours);
    oursFirst = !oursFirst;
  }
  if (oursSeconds <= 0 || beforeSeconds <= 0) return;
  const double rate = megapixelsOf(state) / oursSeconds;
  state.counters["Mpx/s"] = rate;
  state.counters["x_before"] = beforeSeconds / oursSeconds;
  const auto peer = jpegRates().find(key);
  if (peer != jpegRates().end() && peer->second > 0) state.counters["x_jpeg"] = rate / peer->second;
}

void JpegDecode(benchmark::State& state, const std::string& name) {
  const std::string jpeg = encodeJpeg(packedRgb(picture(name)));
  std::vector<uint8_t> rgb;
  jpegRates()["decode/" + name] = timed(state, [&] {
    decodeJpeg(jpeg, rgb);
    benchmark::DoNotOptimize(rgb.data());
  });
  state.counters["bytes"] = static_cast<double>(jpeg.size());
}

void JpegEncode(benchmark::State& state, const std::string& name) {
  // Both encoders write into memory that is already there, so that the
  // figures are the coders' and not the allocator's.
  const std::vector<uint8_t> rgb = packedRgb(picture(name));
  std::vector<uint8_t> out(rgb.size());
  jpegRates()["encode/" + name] = timed(state, [&] {
    benchmark::DoNotOptimize(encodeJpegInto(rgb, out));
  });
}

bool samePixels(const PixelMap& a, const PixelMap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.row(y), b.row(y), static_cast<size_t>(a.width()) * PixelMap::kBytesPerPixel) != 0) return false;
  }
  return true;
}

// A yardstick that drew or wrote other bytes than the codec would measure
// nothing worth comparing: such a row stops with an error instead.
void XmgDecode(benchmark::State& state, const std::string& name) {
  const std::string xmg = encodeXmg(picture(name));
  const auto ours = [&xmg] {
    MemoryStream in(static_cast<const void*>(xmg.data()), xmg.size());
    return tXMGLoader().toPixmap(in);
  };
  const auto before = [&xmg] {
    MemoryStream in(static_cast<const void*>(xmg.data()), xmg.size());
    return before_rows::toPixmap(in);
  };
  if (!samePixels(ours(), before())) {
    state.SkipWithError("the code before the row passes draws other pixels");
    return;
  }
  timedAgainstBefore(
      state, "decode/" + name, [&] { benchmark::DoNotOptimize(ours().row(0)); },
      [&] { benchmark::DoNotOptimize(before().row(0)); });
  state.counters["bytes"] = static_cast<double>(xmg.size());
}

void XmgEncode(benchmark::State& state, const std::string& name) {
  const PixelMap& map = picture(name);
  auto oursBuffer = std::make_shared<ByteBuffer>();
  auto beforeBuffer = std::make_shared<ByteBuffer>();
  const auto ours = [&] {
    BufferStream out(oursBuffer);
    tXMGEncoder().saveXMG(map, out);
    benchmark::DoNotOptimize(oursBuffer->data());
  };
  const auto before = [&] {
    BufferStream out(beforeBuffer);
    before_rows::saveXmg(map, out);
    benchmark::DoNotOptimize(beforeBuffer->data());
  };
  ours();
  before();
  if (oursBuffer->toString() != beforeBuffer->toString()) {
    state.SkipWithError("the code before the row passes writes other bytes");
    return;
  }
  timedAgainstBefore(state, "encode/" + name, ours, before);
}

// A run of `body` at one codec level, and the level in use again after it.
template <typename Body>
void AtLevel(benchmark::State& state, CodecLevel level, Body body) {
  const CodecLevel before = codecLevelInUse();
  useCodecLevel(level);
  body(state);
  useCodecLevel(before);
}

// The peers first, so that their rates are known when the XMG runs end.
BENCHMARK_CAPTURE(JpegDecode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(JpegDecode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(JpegEncode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(JpegEncode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(XmgDecode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(XmgDecode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(XmgEncode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(XmgEncode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);

// Then each level this processor runs, after the rows above.
const bool kLevelRows = [] {
  for (CodecLevel level : usableCodecLevels()) {
    const std::string suffix = "/" + std::string(codecLevelName(level));
    for (const char* name : {"photo", "sprite"}) {
      benchmark::RegisterBenchmark(("XmgDecode/" + std::string(name) + suffix).c_str(),
                                   [level, name](benchmark::State& state) {
                                     AtLevel(state, level, [name](benchmark::State& s) { XmgDecode(s, name); });
                                   })
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("XmgEncode/" + std::string(name) + suffix).c_str(),
                                   [level, name](benchmark::State& state) {
                                     AtLevel(state, level, [name](benchmark::State& s) { XmgEncode(s, name); });
                                   })
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace vh
