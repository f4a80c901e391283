// The window toolkit draws each label with one font and never falls back to
// another for a missing character, so the installer's Chinese captions need
// a face that covers all of them; fontconfig finds one.
#pragma once

#include <string>

namespace vh {

// The family name of an installed font that covers every character of
// `utf8Text`, preferring the best match for a Simplified Chinese sans face;
// "" when no installed font covers them all.
std::string findFontCovering(const std::string& utf8Text);

// Adds the face built into the program to the fonts fontconfig offers this
// process: the captions' glyphs and Latin-1, cut from a free CJK face at
// build time, so that the captions show where no Chinese font is
// installed. False when it cannot be added.
bool addBuiltInCaptionFace();

// Makes that font the toolkit's normal face. Must run before any window is
// shown. False when no font covers the text (the default face stays).
bool useFontCovering(const std::string& utf8Text);

}  // namespace vh
