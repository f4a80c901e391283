// Files assembled into the program's read-only data at build time, so that
// the program needs nothing beside it to use them.
#pragma once

// Defines `symbol_begin` and `symbol_end` around the bytes of the file at
// `path`, a string literal the build supplies.
#define VH_INCBIN(symbol, path)                                       \
  __asm__(".section .rodata\n"                                        \
          ".balign 16\n"                                              \
          ".globl " #symbol "_begin\n" #symbol "_begin:\n"            \
          ".incbin \"" path "\"\n"                                    \
          ".globl " #symbol "_end\n" #symbol "_end:\n"                \
          ".byte 0\n"                                                 \
          ".previous\n");                                             \
  extern "C" const char symbol##_begin[];                             \
  extern "C" const char symbol##_end[];
