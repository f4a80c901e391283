// The XMG codec's throughput beside the system's JPEG library on the same
// pixels: a 1024 x 768 photographic picture and a sprite that is mostly mask
// colour. The JPEG runs are registered first; each XMG run then reports its
// rate as a multiple of its JPEG peer's ("x_jpeg"), measured in the same run.
//
// The codec's row passes exist once per x86-64 level. The codec as it was
// before them (xmg_before_rows.h) runs next, and every XMG run also reports
// its rate as a multiple of that code's ("x_before"): the rows without a
// level run the level in use (VHPATCH_CODEC_LEVEL or the processor's best),
// XmgDecode/photo/v2 and the like each level this processor runs, so that
// the baseline's row shows what a processor without SSE4 or AVX2 gets.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <chrono>
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

// The same for the codec before its row passes.
std::map<std::string, double>& beforeRates() {
  static std::map<std::string, double> rates;
  return rates;
}

// Runs `body` under the benchmark loop and sets the megapixel rate; returns
// that rate as measured by the wall clock over all iterations.
template <typename Body>
double timed(benchmark::State& state, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double megapixels = static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6;
  state.counters["Mpx/s"] = benchmark::Counter(megapixels, benchmark::Counter::kIsRate);
  return seconds > 0 ? megapixels / seconds : 0;
}

void reportAgainst(benchmark::State& state, const char* counter, const std::map<std::string, double>& rates,
                   const std::string& key, double rate) {
  const auto peer = rates.find(key);
  if (peer != rates.end() && peer->second > 0) state.counters[counter] = rate / peer->second;
}

void reportAgainstPeers(benchmark::State& state, const std::string& key, double rate) {
  reportAgainst(state, "x_jpeg", jpegRates(), key, rate);
  reportAgainst(state, "x_before", beforeRates(), key, rate);
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

void XmgDecode(benchmark::State& state, const std::string& name) {
  const std::string xmg = encodeXmg(picture(name));
  const double rate = timed(state, [&] {
    MemoryStream in(static_cast<const void*>(xmg.data()), xmg.size());
    tXMGLoader loader;
    const PixelMap image = loader.toPixmap(in);
    benchmark::DoNotOptimize(image.row(0));
  });
  reportAgainstPeers(state, "decode/" + name, rate);
  state.counters["bytes"] = static_cast<double>(xmg.size());
}

void XmgEncode(benchmark::State& state, const std::string& name) {
  const PixelMap& map = picture(name);
  auto buffer = std::make_shared<ByteBuffer>();
  const double rate = timed(state, [&] {
    BufferStream out(buffer);
    tXMGEncoder().saveXMG(map, out);
    benchmark::DoNotOptimize(buffer->data());
  });
  reportAgainstPeers(state, "encode/" + name, rate);
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
void BeforeRowsDecode(benchmark::State& state, const std::string& name) {
  const std::string xmg = encodeXmg(picture(name));
  const auto decode = [&xmg] {
    MemoryStream in(static_cast<const void*>(xmg.data()), xmg.size());
    return before_rows::toPixmap(in);
  };
  MemoryStream in(static_cast<const void*>(xmg.data()), xmg.size());
  if (!samePixels(decode(), tXMGLoader().toPixmap(in))) {
    state.SkipWithError("the code before the row passes draws other pixels");
    return;
  }
  beforeRates()["decode/" + name] = timed(state, [&] { benchmark::DoNotOptimize(decode().row(0)); });
}

void BeforeRowsEncode(benchmark::State& state, const std::string& name) {
  const PixelMap& map = picture(name);
  auto buffer = std::make_shared<ByteBuffer>();
  const auto encode = [&] {
    BufferStream out(buffer);
    before_rows::saveXmg(map, out);
  };
  encode();
  if (buffer->toString() != encodeXmg(map)) {
    state.SkipWithError("the code before the row passes writes other bytes");
    return;
  }
  beforeRates()["encode/" + name] = timed(state, [&] {
    encode();
    benchmark::DoNotOptimize(buffer->data());
  });
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
BENCHMARK_CAPTURE(BeforeRowsDecode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BeforeRowsDecode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BeforeRowsEncode, photo, std::string("photo"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BeforeRowsEncode, sprite, std::string("sprite"))->Unit(benchmark::kMillisecond);
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
