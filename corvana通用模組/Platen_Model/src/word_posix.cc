// Word converts only on Windows; elsewhere it is never chosen (see word.h).
#include <stdexcept>

#include "word.h"

namespace platen_model::detail {

bool word_supported() { return false; }

std::optional<std::string> word_unavailable() { return "Microsoft Word is used only on Windows"; }

class Word::Impl {};

Word::Word(Word_Setup) {}

Word::~Word() = default;

void Word::convert(const std::filesystem::path&, const std::filesystem::path&, bool) {
  throw std::runtime_error(*word_unavailable());
}

}  // namespace platen_model::detail
