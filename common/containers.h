// The list and ordered map the formats and the patch tables are built on.
#pragma once

#include <list>
#include <map>
#include <string>

namespace vh {

// Ordered, doubly linked, insertion at both ends.
template <class T>
using List = std::list<T>;

// Byte-string keys in ascending order: std::string compares through
// char_traits<char>, which orders bytes as unsigned values, so a prefix sorts
// before its extensions and bytes above 127 come after ASCII. Insert with
// insert_or_assign (or operator[]) so that an existing key is replaced.
template <class T>
using OrderedMap = std::map<std::string, T>;

}  // namespace vh
