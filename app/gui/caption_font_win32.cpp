// The captions' font on Windows. The labels and buttons draw their text in
// the one font they are given, and GDI's fallback to another face for a
// missing character belongs to the system's own fonts and settings (a Wine
// prefix has none for Chinese), so the font is picked by what it covers.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/gui/installer_windows_win32.h"
#include "app/installer_layout.h"
#include "common/wide_text_win32.h"

namespace vh {

namespace {

// The family of the face the build cuts from its free CJK face
// (cmake/caption_face.cmake), held by the program as the resource
// CAPTION_FACE (app/gui/vhpatch_win32.rc).
constexpr wchar_t kBuiltInFace[] = L"WenQuanYi Micro Hei";

// The Simplified Chinese faces every Windows since 10 carries, tried before
// the built-in one for their hinting at small sizes.
constexpr const wchar_t* kChineseFaces[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun"};

std::wstring captionsText() {
  std::string text;
  for (const GadgetLayout& gadget : kInstallerGadgets) text += gadget.text;
  return shownText(text);
}

HFONT fontOf(LOGFONTW font, const wchar_t* face) {
  if (face) {
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    font.lfFaceName[LF_FACESIZE - 1] = L'\0';
    font.lfCharSet = DEFAULT_CHARSET;
  }
  return CreateFontIndirectW(&font);
}

}  // namespace

bool addBuiltInCaptionFace() {
  const HMODULE program = GetModuleHandleW(nullptr);
  // RT_RCDATA, spelt so whether or not the build asks for wide names.
  const HRSRC found = FindResourceW(program, L"CAPTION_FACE", MAKEINTRESOURCEW(10));
  const HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
  void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  // Private to the process: the face is for the captions alone.
  DWORD added = 0;
  return AddFontMemResourceEx(bytes, SizeofResource(program, found), nullptr, &added) != nullptr && added > 0;
}

bool fontCovers(HFONT font, std::wstring_view text) {
  if (!font || text.empty()) return font != nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  const DWORD got = GetGlyphIndicesW(dc, text.data(), static_cast<int>(text.size()), glyphs.data(),
                                     GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, previous);
  DeleteDC(dc);
  if (got == GDI_ERROR) return false;
  for (WORD glyph : glyphs) {
    if (glyph == 0xFFFF) return false;
  }
  return true;
}

HFONT makeCaptionFont(int dpi) {
  static const bool builtIn = addBuiltInCaptionFace();
  static const std::wstring captions = captionsText();
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
    return nullptr;
  }
  // The message font as it is, then at its size in each face by turn; the
  // font mapper gives some other face for a name it lacks, so each is
  // judged by its glyphs, not by its name.
  std::vector<const wchar_t*> faces{nullptr};
  faces.insert(faces.end(), std::begin(kChineseFaces), std::end(kChineseFaces));
  if (builtIn) faces.push_back(kBuiltInFace);
  for (const wchar_t* face : faces) {
    const HFONT font = fontOf(metrics.lfMessageFont, face);
    if (fontCovers(font, captions)) return font;
    if (font) DeleteObject(font);
  }
  // None has them all: the system's own, whose fallback may still draw them.
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace vh
