#include "travo/docx/image.h"

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <cerrno>
#include <cstring>
#include <fstream>

#include "travo/docx/error.h"

namespace travo::docx {
namespace {

constexpr std::uintmax_t kMaxPictureBytes = 256ull << 20;

std::optional<Image_Format> sniff(const std::string& b) {
  auto starts = [&](std::string_view sig) { return b.compare(0, sig.size(), sig) == 0; };
  if (starts("\x89PNG\r\n\x1a\n")) return Image_Format::png;
  if (starts("\xFF\xD8\xFF")) return Image_Format::jpeg;
  if (starts("GIF87a") || starts("GIF89a")) return Image_Format::gif;
  if (starts("BM")) return Image_Format::bmp;
  return std::nullopt;
}

}  // namespace

Image Image::open(const std::filesystem::path& path) {
  std::error_code ec;
  const std::string shown = path.string();
  if (!std::filesystem::is_regular_file(path, ec))
    throw Error("cannot open picture '" + shown + "': " +
                (std::filesystem::exists(path, ec) ? "not a regular file" : "no such file"));
  auto size = std::filesystem::file_size(path, ec);
  if (ec) throw Error("cannot open picture '" + shown + "': " + ec.message());
  if (size > kMaxPictureBytes)
    throw Error("picture '" + shown + "' is larger than 256 MiB");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open picture '" + shown + "': " + std::strerror(errno));
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size)
    throw Error("cannot read picture '" + shown + "'");
  return from_bytes(std::move(bytes), shown);
}

Image Image::from_bytes(std::string bytes, std::string_view name) {
  if (bytes.size() > kMaxPictureBytes)
    throw Error("picture '" + std::string(name) + "' is larger than 256 MiB");
  auto format = sniff(bytes);
  if (!format)
    throw Error("'" + std::string(name) + "' is not a PNG, JPEG, GIF or BMP picture");
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                             static_cast<int>(bytes.size()), &w, &h, &comp) ||
      w <= 0 || h <= 0)
    throw Error("picture '" + std::string(name) + "' is damaged: its size cannot be read");
  Image img;
  img.bytes_ = std::move(bytes);
  img.format_ = *format;
  img.width_ = w;
  img.height_ = h;
  return img;
}

std::string_view Image::extension() const {
  switch (format_) {
    case Image_Format::png: return "png";
    case Image_Format::jpeg: return "jpeg";
    case Image_Format::gif: return "gif";
    case Image_Format::bmp: return "bmp";
  }
  return "bin";
}

std::string_view Image::content_type() const {
  switch (format_) {
    case Image_Format::png: return "image/png";
    case Image_Format::jpeg: return "image/jpeg";
    case Image_Format::gif: return "image/gif";
    case Image_Format::bmp: return "image/bmp";
  }
  return "application/octet-stream";
}

}  // namespace travo::docx
