#pragma once
// Which browser version a User Data belongs to, as the browser wrote it.
#include <string>
#include <string_view>

#include "fileio/fileio.h"

// The version in `Last Version` beside the Local State at `localStatePath`
// ("156.0.8078.129"), read through a folder opened as the Local State's is,
// confined the same way. Empty when the file is missing, over 64 bytes, or
// holds no version.
std::string ReadLastVersion(const std::u16string& localStatePath, const Confinement& confinement);

// `user_experience_metrics.stability.stats_version` of a Local State's UTF-8
// text ("156.0.8078.129-64"); empty when it is not valid JSON or has none.
std::string StatsVersion(std::string_view text);

// The major version a version text starts with (156), or 0.
int MajorVersion(std::string_view version);
