// What a reader of untrusted bytes hands back instead of showing anything:
// the value it read, or a fault saying what was wrong. The program's own
// operations turn faults into their messages and fatal errors; the toolkit
// prints them; tests look at them.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vh {

enum class FaultKind {
  CannotOpen,  // the file could not be opened or read at all
  BadSize,     // a size, count or offset the data cannot back
  Damaged,     // content no valid file holds
};

struct Fault {
  FaultKind kind;
  std::string detail;  // what exactly, in English, naming the file or field

  bool operator==(const Fault&) const = default;
};

// A value of T, or the fault that kept the reader from producing one.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : held_(std::move(value)) {}
  Result(Fault fault) : held_(std::move(fault)) {}

  bool ok() const { return held_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() { return std::get<0>(held_); }
  const T& value() const { return std::get<0>(held_); }
  const Fault& fault() const { return std::get<1>(held_); }

 private:
  std::variant<T, Fault> held_;
};

}  // namespace vh
