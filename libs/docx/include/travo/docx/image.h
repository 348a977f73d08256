// A picture file read into memory, with its format and size in pixels.
//
// PNG, JPEG, GIF and BMP are accepted, recognised by their signature bytes
// (not by the file name). Only the header is decoded, to learn the size.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace travo::docx {

enum class Image_Format { png, jpeg, gif, bmp };

class Image {
 public:
  // Throws travo::docx::Error when the file cannot be read, is larger than 256 MiB,
  // or is not a picture of an accepted format with a valid header.
  static Image open(const std::filesystem::path& path);
  // `name` only appears in error messages.
  static Image from_bytes(std::string bytes, std::string_view name = "picture");

  int width() const { return width_; }    // pixels
  int height() const { return height_; }  // pixels
  Image_Format format() const { return format_; }
  const std::string& bytes() const { return bytes_; }
  // "png", "jpeg", "gif" or "bmp".
  std::string_view extension() const;
  // "image/png", "image/jpeg", "image/gif" or "image/bmp".
  std::string_view content_type() const;

 private:
  Image() = default;
  std::string bytes_;
  Image_Format format_ = Image_Format::png;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace travo::docx
