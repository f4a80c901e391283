// The "key=value" lines that every list file of the program is made of:
// scene index files, the scene list, translation files, add-on lists.
#pragma once

#include <string>

namespace vh {

// Splits a line at its first "=": key before it, value after it (further
// "=" stay in the value). A line without "=", or starting with "=", is all
// key and an empty value. Nothing is trimmed. All the program's list files
// share this rule.
void splitKeyValue(const std::string& line, std::string& key, std::string& value);
// key + "=" + value.
std::string makeKeyValue(const std::string& key, const std::string& value);

}  // namespace vh
