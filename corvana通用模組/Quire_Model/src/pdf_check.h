// The check output() makes after the converter returns.
#pragma once

#include <filesystem>
#include <string>

namespace quire_model {

// Throws std::runtime_error naming `shown` (the path as the caller wrote it)
// unless `pdf` is a regular file holding at least one byte.
void require_pdf(const std::filesystem::path& pdf, const std::string& shown);

}  // namespace quire_model
