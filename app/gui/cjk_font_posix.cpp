#include "app/gui/cjk_font.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <string_view>
#include <vector>

#include "app/gui/incbin.h"

// Made by the build from the captions of app/installer_layout.h;
// VH_CAPTION_FACE_FILE comes from the build.
VH_INCBIN(vh_caption_face, VH_CAPTION_FACE_FILE)

namespace vh {

namespace {

std::vector<FcChar32> codePoints(const std::string& utf8Text) {
  std::vector<FcChar32> points;
  const auto* at = reinterpret_cast<const FcChar8*>(utf8Text.data());
  int left = static_cast<int>(utf8Text.size());
  while (left > 0) {
    FcChar32 point = 0;
    const int used = FcUtf8ToUcs4(at, &point, left);
    if (used <= 0) break;
    // Characters every face has are no test of coverage.
    if (point > 0x7F) points.push_back(point);
    at += used;
    left -= used;
  }
  return points;
}

struct PatternFree {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetFree {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};

}  // namespace

std::string findFontCovering(const std::string& utf8Text) {
  if (!FcInit()) return "";
  const std::vector<FcChar32> needed = codePoints(utf8Text);
  std::unique_ptr<FcPattern, PatternFree> pattern(FcNameParse(reinterpret_cast<const FcChar8*>("sans:lang=zh-cn")));
  if (!pattern) return "";
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  // Every installed face, best match first.
  std::unique_ptr<FcFontSet, FontSetFree> fonts(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
  if (!fonts) return "";
  for (int i = 0; i < fonts->nfont; ++i) {
    FcCharSet* charset = nullptr;
    FcChar8* family = nullptr;
    if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch) continue;
    if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) != FcResultMatch) continue;
    bool covers = true;
    for (FcChar32 point : needed) {
      if (!FcCharSetHasChar(charset, point)) {
        covers = false;
        break;
      }
    }
    if (covers) return reinterpret_cast<const char*>(family);
  }
  return "";
}

bool addBuiltInCaptionFace() {
  if (!FcInit()) return false;
  const std::string_view face(vh_caption_face_begin, static_cast<size_t>(vh_caption_face_end - vh_caption_face_begin));
  // Fontconfig and the toolkit's renderer open fonts by file name, and open
  // them again whenever they like: a file in memory that lives as long as
  // the process serves, and nothing is left on the disk.
  const int fd = memfd_create("vhpatch-captions.ttf", MFD_CLOEXEC);
  if (fd < 0) return false;
  size_t written = 0;
  while (written < face.size()) {
    const ssize_t n = write(fd, face.data() + written, face.size() - written);
    if (n <= 0) {
      close(fd);
      return false;
    }
    written += static_cast<size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (!FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path.c_str()))) {
    close(fd);
    return false;
  }
  return true;
}

bool useFontCovering(const std::string& utf8Text) {
  const std::string family = findFontCovering(utf8Text);
  if (family.empty()) return false;
  // The toolkit keeps the pointer; the leading space says "regular", which
  // also keeps a family starting with B, I or P from reading as a style.
  static std::string face;
  face = " " + family;
  Fl::set_font(FL_HELVETICA, face.c_str());
  return true;
}

}  // namespace vh
