// The codec's loops over whole rows are written so that the compiler
// vectorises them. The program is built for any x86-64 processor, whose
// baseline vectors are narrow; so each such loop is also compiled for the
// later x86-64 levels, and the copy the processor supports is picked once
// when the program loads. Every copy is the same source, so every copy gives
// the same bytes.
#pragma once

#if defined(VH_CODEC_LEVELS) && defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VH_ROW_LOOP [[gnu::target_clones("default", "arch=x86-64-v2", "arch=x86-64-v3", "arch=x86-64-v4")]]
#else
#define VH_ROW_LOOP
#endif
