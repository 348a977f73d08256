// A value as a caller hands it to the engine: a text or a number.
//
// Version keys, placeholders and replacement texts may be given as texts or
// as numbers; the engine keys and writes them by their text form. The text
// form of a text is the text itself; that of an integer is its decimal
// text ("5", "-12"); that of a floating-point number is the shortest text
// that reads back as the same number, written the way Python writes floats
// ("2.5", "12.0", "1e-05", "1e+16"), so that report programs ported from
// Python keep their keys. The number 5 and the text "5" therefore name the
// same key, while 5.0 names the key "5.0".
//
// Texts are UTF-8. A Value remembers which kind it was given as, so a field
// that stores "the value exactly as the caller gave it" can hand it back.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace quire_model {

namespace detail {
template <typename T>
concept CharacterType =
    std::same_as<T, char> || std::same_as<T, signed char> || std::same_as<T, unsigned char> ||
    std::same_as<T, wchar_t> || std::same_as<T, char8_t> || std::same_as<T, char16_t> ||
    std::same_as<T, char32_t>;
template <typename T>
concept Number = (std::integral<T> || std::floating_point<T>) && !std::same_as<T, bool> &&
                 !CharacterType<T>;
}  // namespace detail

class Value {
 public:
  using Storage = std::variant<std::string, std::int64_t, std::uint64_t, double>;

  Value() = default;  // the empty text
  Value(std::string text) : v_(std::move(text)) {}
  Value(std::string_view text) : v_(std::string(text)) {}
  Value(const char* text) : v_(std::string(text)) {}
  Value(std::u8string_view text) : v_(std::string(text.begin(), text.end())) {}
  Value(const char8_t* text) : Value(std::u8string_view(text)) {}

  // Signed integers are kept as int64, unsigned ones as int64 when they fit
  // and as uint64 otherwise; floating-point numbers as double.
  template <detail::Number T>
  Value(T number) {
    if constexpr (std::floating_point<T>) {
      v_ = static_cast<double>(number);
    } else if constexpr (std::is_signed_v<T>) {
      v_ = static_cast<std::int64_t>(number);
    } else if (static_cast<std::uint64_t>(number) <= static_cast<std::uint64_t>(INT64_MAX)) {
      v_ = static_cast<std::int64_t>(number);
    } else {
      v_ = static_cast<std::uint64_t>(number);
    }
  }

  bool is_text() const { return std::holds_alternative<std::string>(v_); }
  bool is_number() const { return !is_text(); }
  const Storage& storage() const { return v_; }

  // The text form described above.
  std::string text_form() const;

  // Same kind and same value: Value(5) != Value("5"), though both have the
  // text form "5".
  friend bool operator==(const Value&, const Value&) = default;

 private:
  Storage v_;
};

// The text form of a floating-point number, as Python's str() writes it.
std::string float_text(double number);

}  // namespace quire_model
