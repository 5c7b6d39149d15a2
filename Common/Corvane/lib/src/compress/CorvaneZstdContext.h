// SPDX-License-Identifier: MIT
// One zstd compression and one decompression context per thread, created on
// first use and freed when the thread ends. Contexts keep their work memory, so
// a thread that packs or reads many files allocates it once.
#pragma once

#include <zstd.h>

namespace CorvaneCompress
{

// A context for compressing at the zstd level; null only when zstd cannot
// allocate one. The caller resets parameters it relies on; the context must
// not leave the calling thread.
ZSTD_CCtx* ThreadCompressContext(int nZstdLevel);
ZSTD_DCtx* ThreadDecompressContext();

} // namespace CorvaneCompress
