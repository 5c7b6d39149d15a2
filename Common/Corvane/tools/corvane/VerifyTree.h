// SPDX-License-Identifier: MIT
// corvane verify --tree: a published version against a directory, file by file.
#pragma once

#include "CorvaneStore.h"

// Prints "differs: PATH", "missing: PATH" (in the tree, not in the version) or
// "extra: PATH" (in the version, not in the tree) for every file that is not
// the same, then either "version V equals TREE: N files" (kExitOk) or a
// one-line reason on stderr (kExitFailure). Files are compared by size and
// content hash: only files whose hash is not recorded are read from the store.
int RunVerifyTree(ToolContext& ctx, const StoreSource& source, const std::string& strTree);
