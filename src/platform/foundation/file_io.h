// Small file helpers shared by the persistent stores: whole-file reads and atomic replacement.
//
// writeFileAtomically writes to a temporary file beside the target, flushes it to disk and
// renames it over the target, so a reader (or a crash) sees either the old or the new contents,
// never a mix. Stateless and thread-safe; callers serialise writers of one file themselves.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace dk::platform {

// The whole file, or nullopt when it does not exist or cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

// Replaces `path` with `data`, creating missing parent folders. The file gets `mode` (for
// example 0600 for secrets). `durable` also flushes the data and the rename to disk before
// returning (secrets); without it the replacement is still atomic for readers. Returns false with
// a message in *error on failure; the old file is then left as it was.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view data, mode_t mode = 0644,
                         bool durable = false, std::string* error = nullptr);

// Moves a damaged file aside (to "<name>.corrupt-<n>") so that it is kept for inspection while a
// fresh one replaces it. Returns the new path, or an empty path when the move failed.
std::filesystem::path quarantineFile(const std::filesystem::path& path);

}  // namespace dk::platform
