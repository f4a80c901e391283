// Files built into the program file. They are registered by name at start-up
// and opened through locators of the form "incbin::" + name, so that code
// showing a picture does not care whether it comes from disk or from the
// program itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vh {

inline constexpr std::string_view kEmbeddedPrefix = "incbin::";

// Registers `bytes` (which must outlive the program's use of them) under
// `name`; a second registration of the same name replaces the first.
void registerEmbeddedFile(const std::string& name, std::string_view bytes);

// The bytes behind an "incbin::" locator, or nothing when the locator has
// another form or names no registered file.
std::optional<std::string_view> findEmbeddedFile(std::string_view locator);

// The bytes a locator stands for: an embedded file, or else the file at
// that path. Nothing when neither can be read.
std::optional<std::string> readLocator(std::string_view locator);

}  // namespace vh
