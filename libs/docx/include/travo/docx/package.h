// An Office Open XML package (.docx) held in memory.
//
// Opening reads the whole zip archive into memory and checks it: a file that
// is no zip, an entry name that is absolute or holds "..", two entries with
// the same name (compared without regard to ASCII case, as part names are),
// an encrypted entry, too many entries, or data that would decompress beyond
// the Limits all throw travo::docx::Error. Sizes are checked on the bytes actually
// decompressed, not only on the sizes the archive declares. Folder entries
// ("name/") are not parts and are dropped.
//
// Parts are addressed by their zip entry names ("word/document.xml", no
// leading slash). The library parses the XML parts it reads into trees that
// the package keeps; a part whose tree is marked modified is serialised on
// save, a part whose bytes were replaced is written from those bytes, and
// every other part is copied from the original archive as it was read,
// without recompressing.
//
// Saving writes a temporary file beside the target and renames it over the
// target, so a failed save leaves any existing file untouched and no partial
// file behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;

namespace travo::docx {

namespace detail {
struct Access;
}  // namespace detail

// Bounds applied while a package is read.
struct Limits {
  std::uint64_t max_part_size = 256ull << 20;   // decompressed bytes per part
  std::uint64_t max_total_size = 1ull << 30;    // decompressed bytes in all
  std::uint64_t max_entries = 10000;
  // Parts above ratio_floor bytes may not decompress to more than
  // max_ratio times their compressed size.
  std::uint64_t ratio_floor = 1ull << 20;
  std::uint64_t max_ratio = 200;
};

// One relationship of a part (or of the package itself).
struct Relationship {
  std::string id;      // "rId3"
  std::string type;    // a full relationship-type URI
  std::string target;  // as written: relative to the source part's folder
  bool external = false;
};

class Package {
 public:
  // Reads and checks the archive at `path` / in `bytes`.
  static Package open(const std::filesystem::path& path, const Limits& limits = {});
  static Package from_bytes(std::string bytes, const Limits& limits = {});

  Package(Package&&) noexcept;
  Package& operator=(Package&&) noexcept;
  ~Package();

  // Part names in archive order; parts added later come last.
  std::vector<std::string> part_names() const;
  bool has_part(std::string_view name) const;
  // The part's current bytes (a modified XML tree is serialised first).
  // Throws when there is no such part.
  std::string part_data(std::string_view name) const;
  // Adds the part or replaces its bytes; a parsed tree of it is dropped.
  void set_part_data(std::string_view name, std::string data);

  // The part's content type: its Override in [Content_Types].xml, else the
  // Default of its extension, else nullopt.
  std::optional<std::string> content_type(std::string_view name) const;
  // Adds a Default for `extension` unless one exists (returns false then;
  // an existing Default is never changed).
  bool add_default_content_type(std::string_view extension, std::string_view content_type);
  // Adds or replaces the Override for part `name`.
  void set_override_content_type(std::string_view name, std::string_view content_type);

  // Relationships whose source is part `source` ("" for the package itself),
  // in document order. A part without a relationships part has none.
  std::vector<Relationship> relationships(std::string_view source) const;
  // Adds a relationship and returns its new id ("rId" and a number above
  // every number already used by that source).
  std::string add_relationship(std::string_view source, std::string_view type,
                               std::string_view target, bool external = false);
  // The part name that `target` of a relationship of `source` points to
  // (relative targets resolve against the source's folder; "/x" is absolute).
  static std::string resolve_target(std::string_view source, std::string_view target);
  // `target_part` written relative to the folder of `source`.
  static std::string relative_target(std::string_view source, std::string_view target_part);

  // Has save() write the part from its parsed tree (see above). Throws when
  // the part has not been parsed; a Document parses its main part.
  void mark_modified(std::string_view name);

  // Writes the package as a zip archive to `path`, atomically.
  void save(const std::filesystem::path& path) const;
  // The package as zip archive bytes.
  std::string to_bytes() const;

 private:
  friend struct detail::Access;
  Package();
  // The part parsed as XML (parsed once, then kept). Parsing refuses a DTD
  // and never touches the network. The package owns the tree.
  _xmlDoc* xml_part(std::string_view name);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace travo::docx
