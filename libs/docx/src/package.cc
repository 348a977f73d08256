#include "travo/docx/package.h"

#include <libxml/tree.h>
#include <zip.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <unordered_map>

#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/platform/atomic_file.h"
#include "travo/platform/utf8.h"
#include "travo/text/ascii.h"
#include "deflated_part.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

using detail::chars;
using detail::xchars;

// zlib's usual balance; libzip's own default is the slow level 9.
constexpr int kDeflateLevel = 6;
constexpr char kContentTypesPart[] = "[Content_Types].xml";
constexpr char kRelsContentType[] = "application/vnd.openxmlformats-package.relationships+xml";

struct Part {
  std::string name;
  std::string data;
  // The archive entry the bytes came from, while they are unchanged; such a
  // part is copied compressed as it is.
  std::optional<zip_uint64_t> source_index;
  zip_uint16_t source_method = ZIP_CM_STORE;
  xmlDocPtr dom = nullptr;
  bool modified = false;
};

std::string zip_message(zip_error_t* err) { return zip_error_strerror(err); }

void check_entry_name(const std::string& name) {
  if (name.empty()) throw Error("the archive holds an entry with an empty name");
  if (name[0] == '/' || name[0] == '\\' ||
      (name.size() > 1 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))))
    throw Error("entry name '" + name + "' is an absolute path");
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0 && end - start == 2)
      throw Error("entry name '" + name + "' holds '..' and would leave the package");
    start = end + 1;
  }
}

std::string rels_part_for(std::string_view source) {
  if (source.empty()) return "_rels/.rels";
  size_t slash = source.rfind('/');
  std::string dir = slash == std::string_view::npos ? "" : std::string(source.substr(0, slash + 1));
  std::string file(slash == std::string_view::npos ? source : source.substr(slash + 1));
  return dir + "_rels/" + file + ".rels";
}

std::string folder_of(std::string_view part) {
  size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? "" : std::string(part.substr(0, slash + 1));
}

std::vector<std::string> split_path(std::string_view path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    out.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

struct Package::Impl {
  std::string archive;  // the bytes `source` reads from
  zip_t* source = nullptr;
  std::vector<Part> parts;
  std::unordered_map<std::string, size_t> index;  // lower-case name -> parts[]

  ~Impl() {
    for (Part& p : parts)
      if (p.dom) xmlFreeDoc(p.dom);
    if (source) zip_discard(source);
  }

  Part* find(std::string_view name) {
    auto it = index.find(text::ascii_lower(name));
    return it == index.end() ? nullptr : &parts[it->second];
  }

  Part& get(std::string_view name) {
    Part* p = find(name);
    if (!p) throw Error("the document has no part '" + std::string(name) + "'");
    return *p;
  }

  void read_archive(const Limits& limits);
};

void Package::Impl::read_archive(const Limits& limits) {
  if (archive.empty()) throw Error("not a .docx file: the file is empty");
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &err);
  if (!src) {
    std::string msg = zip_message(&err);
    zip_error_fini(&err);
    throw Error("cannot read the archive: " + msg);
  }
  source = zip_open_from_source(src, ZIP_RDONLY, &err);
  if (!source) {
    zip_source_free(src);
    int code = zip_error_code_zip(&err);
    std::string msg = zip_message(&err);
    zip_error_fini(&err);
    if (code == ZIP_ER_NOZIP) throw Error("not a .docx file: not a zip archive");
    throw Error("not a .docx file: damaged zip archive (" + msg + ")");
  }
  zip_error_fini(&err);

  zip_int64_t count = zip_get_num_entries(source, 0);
  if (count < 0) throw Error("not a .docx file: damaged zip archive");
  if (static_cast<zip_uint64_t>(count) > limits.max_entries)
    throw Error("the archive holds " + std::to_string(count) + " entries; at most " +
                std::to_string(limits.max_entries) + " are accepted");

  std::uint64_t total = 0;
  std::string chunk(64 * 1024, '\0');
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(source, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
      throw Error("damaged zip archive: entry " + std::to_string(i) + " cannot be read (" +
                  zip_strerror(source) + ")");
    std::string name = st.name;
    check_entry_name(name);
    if (name.back() == '/') continue;  // a folder, not a part
    std::string key = text::ascii_lower(name);
    if (index.count(key)) throw Error("the archive holds the entry '" + name + "' twice");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
      throw Error("entry '" + name + "' is encrypted");

    const std::uint64_t comp = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    auto too_big = [&](std::uint64_t size) -> std::string {
      if (size > limits.max_part_size)
        return "entry '" + name + "' decompresses to more than " +
               std::to_string(limits.max_part_size) + " bytes";
      if (total + size > limits.max_total_size)
        return "the archive decompresses to more than " + std::to_string(limits.max_total_size) +
               " bytes";
      if (size > limits.ratio_floor && size / limits.max_ratio > comp)
        return "entry '" + name + "' expands more than " + std::to_string(limits.max_ratio) +
               " times (a zip bomb?)";
      return {};
    };
    if (st.valid & ZIP_STAT_SIZE)
      if (std::string why = too_big(st.size); !why.empty()) throw Error(why);

    Part part;
    part.name = name;
    part.source_index = i;
    part.source_method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : ZIP_CM_DEFLATE;
    zip_file_t* f = zip_fopen_index(source, i, 0);
    if (!f)
      throw Error("entry '" + name + "' cannot be read: " + std::string(zip_strerror(source)));
    if (st.valid & ZIP_STAT_SIZE) part.data.reserve(st.size);
    for (;;) {
      zip_int64_t n = zip_fread(f, chunk.data(), chunk.size());
      if (n < 0) {
        std::string msg = zip_file_strerror(f);
        zip_fclose(f);
        throw Error("entry '" + name + "' is damaged: " + msg);
      }
      if (n == 0) break;
      part.data.append(chunk.data(), static_cast<size_t>(n));
      // Declared sizes can lie; the bytes actually produced decide.
      if (std::string why = too_big(part.data.size()); !why.empty()) {
        zip_fclose(f);
        throw Error(why);
      }
    }
    zip_fclose(f);
    total += part.data.size();
    index.emplace(std::move(key), parts.size());
    parts.push_back(std::move(part));
  }
  if (!find(kContentTypesPart)) throw Error("not a .docx file: [Content_Types].xml is missing");
}

Package::Package() : impl_(std::make_unique<Impl>()) {}
Package::Package(Package&&) noexcept = default;
Package& Package::operator=(Package&&) noexcept = default;
Package::~Package() = default;

Package Package::from_bytes(std::string bytes, const Limits& limits) {
  Package p;
  p.impl_->archive = std::move(bytes);
  p.impl_->read_archive(limits);
  p.xml_part(kContentTypesPart);  // a broken one is reported now, not on save
  return p;
}

Package Package::open(const std::filesystem::path& path, const Limits& limits) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) throw Error("cannot open '" + platform::utf8_string(path) + "': " + ec.message());
  if (size > limits.max_total_size)
    throw Error("cannot open '" + platform::utf8_string(path) + "': the file is larger than " +
                std::to_string(limits.max_total_size) + " bytes");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open '" + platform::utf8_string(path) + "': " + std::strerror(errno));
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(in.gcount()) != size)
    throw Error("cannot read '" + platform::utf8_string(path) + "'");
  try {
    return from_bytes(std::move(bytes), limits);
  } catch (const Error& e) {
    throw Error("'" + platform::utf8_string(path) + "': " + e.what());
  }
}

std::vector<std::string> Package::part_names() const {
  std::vector<std::string> out;
  out.reserve(impl_->parts.size());
  for (const Part& p : impl_->parts) out.push_back(p.name);
  return out;
}

bool Package::has_part(std::string_view name) const { return impl_->find(name) != nullptr; }

std::string Package::part_data(std::string_view name) const {
  const Part& p = impl_->get(name);
  if (p.dom && p.modified) return detail::serialize_xml(p.dom);
  return p.data;
}

void Package::set_part_data(std::string_view name, std::string data) {
  std::string n(name);
  check_entry_name(n);
  if (n.back() == '/') throw Error("part name '" + n + "' names a folder");
  if (Part* p = impl_->find(name)) {
    if (p->dom) xmlFreeDoc(p->dom);
    p->dom = nullptr;
    p->modified = false;
    p->source_index.reset();
    p->data = std::move(data);
    return;
  }
  Part part;
  part.name = n;
  part.data = std::move(data);
  impl_->index.emplace(text::ascii_lower(n), impl_->parts.size());
  impl_->parts.push_back(std::move(part));
}

_xmlDoc* Package::xml_part(std::string_view name) {
  Part& p = impl_->get(name);
  if (!p.dom) p.dom = detail::parse_xml(p.data, "part '" + p.name + "'");
  return p.dom;
}

void Package::mark_modified(std::string_view name) {
  Part& p = impl_->get(name);
  if (!p.dom) throw Error("part '" + p.name + "' was not parsed, so it cannot be modified");
  p.modified = true;
  // From now on the tree is the part; its bytes are never read again.
  std::string().swap(p.data);
}

std::optional<std::string> Package::content_type(std::string_view name) const {
  xmlDocPtr doc = const_cast<Package*>(this)->xml_part(kContentTypesPart);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  std::string part_name = "/" + std::string(name);
  for (xmlNodePtr c = root->children; c; c = c->next) {
    if (!detail::is_elem(c, ns::kContentTypes, "Override")) continue;
    auto pn = detail::plain_attr(c, "PartName");
    if (pn && text::iequals(*pn, part_name)) return detail::plain_attr(c, "ContentType");
  }
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return std::nullopt;
  std::string_view ext = name.substr(dot + 1);
  for (xmlNodePtr c = root->children; c; c = c->next) {
    if (!detail::is_elem(c, ns::kContentTypes, "Default")) continue;
    auto e = detail::plain_attr(c, "Extension");
    if (e && text::iequals(*e, ext)) return detail::plain_attr(c, "ContentType");
  }
  return std::nullopt;
}

bool Package::add_default_content_type(std::string_view extension,
                                       std::string_view content_type) {
  xmlDocPtr doc = xml_part(kContentTypesPart);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlNodePtr first_override = nullptr;
  for (xmlNodePtr c = root->children; c; c = c->next) {
    if (detail::is_elem(c, ns::kContentTypes, "Default")) {
      auto e = detail::plain_attr(c, "Extension");
      if (e && text::iequals(*e, extension)) return false;
    } else if (!first_override && detail::is_elem(c, ns::kContentTypes, "Override")) {
      first_override = c;
    }
  }
  xmlNodePtr d = xmlNewDocNode(doc, root->ns, xchars("Default"), nullptr);
  xmlSetProp(d, xchars("Extension"), xchars(std::string(extension).c_str()));
  xmlSetProp(d, xchars("ContentType"), xchars(std::string(content_type).c_str()));
  if (first_override) xmlAddPrevSibling(first_override, d);
  else xmlAddChild(root, d);
  mark_modified(kContentTypesPart);
  return true;
}

void Package::set_override_content_type(std::string_view name, std::string_view content_type) {
  xmlDocPtr doc = xml_part(kContentTypesPart);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  std::string part_name = "/" + std::string(name);
  std::string type(content_type);
  for (xmlNodePtr c = root->children; c; c = c->next) {
    if (!detail::is_elem(c, ns::kContentTypes, "Override")) continue;
    auto pn = detail::plain_attr(c, "PartName");
    if (pn && text::iequals(*pn, part_name)) {
      xmlSetProp(c, xchars("ContentType"), xchars(type.c_str()));
      mark_modified(kContentTypesPart);
      return;
    }
  }
  xmlNodePtr o = xmlNewDocNode(doc, root->ns, xchars("Override"), nullptr);
  xmlSetProp(o, xchars("PartName"), xchars(part_name.c_str()));
  xmlSetProp(o, xchars("ContentType"), xchars(type.c_str()));
  xmlAddChild(root, o);
  mark_modified(kContentTypesPart);
}

std::vector<Relationship> Package::relationships(std::string_view source) const {
  std::vector<Relationship> out;
  std::string rels = rels_part_for(source);
  if (!has_part(rels)) return out;
  xmlDocPtr doc = const_cast<Package*>(this)->xml_part(rels);
  for (xmlNodePtr c = xmlDocGetRootElement(doc)->children; c; c = c->next) {
    if (!detail::is_elem(c, ns::kPackageRels, "Relationship")) continue;
    Relationship r;
    r.id = detail::plain_attr(c, "Id").value_or("");
    r.type = detail::plain_attr(c, "Type").value_or("");
    r.target = detail::plain_attr(c, "Target").value_or("");
    r.external = detail::plain_attr(c, "TargetMode").value_or("") == "External";
    out.push_back(std::move(r));
  }
  return out;
}

std::string Package::add_relationship(std::string_view source, std::string_view type,
                                      std::string_view target, bool external) {
  std::string rels = rels_part_for(source);
  if (!has_part(rels)) {
    set_part_data(rels,
                  std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                              "<Relationships xmlns=\"") +
                      ns::kPackageRels + "\"/>");
    add_default_content_type("rels", kRelsContentType);
  }
  xmlDocPtr doc = xml_part(rels);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  long highest = 0;
  for (xmlNodePtr c = root->children; c; c = c->next) {
    if (!detail::is_elem(c, ns::kPackageRels, "Relationship")) continue;
    std::string id = detail::plain_attr(c, "Id").value_or("");
    if (id.size() > 3 && id.compare(0, 3, "rId") == 0 && id.size() < 12 &&
        id.find_first_not_of("0123456789", 3) == std::string::npos)
      highest = std::max(highest, std::stol(id.substr(3)));
  }
  std::string id = "rId" + std::to_string(highest + 1);
  xmlNodePtr r = xmlNewDocNode(doc, root->ns, xchars("Relationship"), nullptr);
  xmlSetProp(r, xchars("Id"), xchars(id.c_str()));
  xmlSetProp(r, xchars("Type"), xchars(std::string(type).c_str()));
  xmlSetProp(r, xchars("Target"), xchars(std::string(target).c_str()));
  if (external) xmlSetProp(r, xchars("TargetMode"), xchars("External"));
  xmlAddChild(root, r);
  mark_modified(rels);
  return id;
}

std::string Package::resolve_target(std::string_view source, std::string_view target) {
  std::string joined = !target.empty() && target[0] == '/' ? std::string(target.substr(1))
                                                           : folder_of(source) + std::string(target);
  std::vector<std::string> out;
  for (std::string& seg : split_path(joined)) {
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(std::move(seg));
  }
  std::string result;
  for (size_t i = 0; i < out.size(); ++i) result += (i ? "/" : "") + out[i];
  return result;
}

std::string Package::relative_target(std::string_view source, std::string_view target_part) {
  std::vector<std::string> from = split_path(folder_of(source));
  from.pop_back();  // folder_of ends with '/' (or is empty): drop the empty tail
  std::vector<std::string> to = split_path(target_part);
  size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (size_t i = common; i < from.size(); ++i) out += "../";
  for (size_t i = common; i < to.size(); ++i) out += (i > common ? "/" : "") + to[i];
  return out;
}

std::string Package::to_bytes() const {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &err);
  if (!buffer) throw Error("cannot write the archive: " + zip_message(&err));
  zip_source_keep(buffer);
  zip_t* out = zip_open_from_source(buffer, ZIP_TRUNCATE, &err);
  if (!out) {
    zip_source_free(buffer);
    std::string msg = zip_message(&err);
    zip_error_fini(&err);
    throw Error("cannot write the archive: " + msg);
  }
  zip_error_fini(&err);

  auto fail = [&](const std::string& what) {
    std::string msg = what + ": " + zip_strerror(out);
    zip_discard(out);
    zip_source_free(buffer);
    throw Error(msg);
  };
  std::deque<detail::Deflated_Part> serialised;  // must outlive zip_close
  for (const Part& p : impl_->parts) {
    zip_source_t* s = nullptr;
    zip_int32_t method = ZIP_CM_DEFLATE;
    if (p.dom && p.modified) {
      try {
        serialised.push_back(detail::deflate_xml(p.dom, kDeflateLevel));
      } catch (...) {
        zip_discard(out);
        zip_source_free(buffer);
        throw;
      }
      s = detail::deflated_source(out, serialised.back());
    } else if (p.source_index &&
               (p.source_method == ZIP_CM_STORE || p.source_method == ZIP_CM_DEFLATE)) {
      // Untouched: copy the compressed bytes as they are.
#if LIBZIP_VERSION_MAJOR > 1 || (LIBZIP_VERSION_MAJOR == 1 && LIBZIP_VERSION_MINOR >= 8)
      s = zip_source_zip_file(out, impl_->source, *p.source_index, ZIP_FL_COMPRESSED, 0, -1,
                              nullptr);
#else
      s = zip_source_zip(out, impl_->source, *p.source_index, ZIP_FL_COMPRESSED, 0, -1);
#endif
      method = p.source_method;
    } else {
      s = zip_source_buffer(out, p.data.data(), p.data.size(), 0);
    }
    if (!s) fail("cannot write part '" + p.name + "'");
    zip_int64_t idx = zip_file_add(out, p.name.c_str(), s, ZIP_FL_ENC_UTF_8);
    if (idx < 0) {
      zip_source_free(s);
      fail("cannot write part '" + p.name + "'");
    }
    if (zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), method,
                                 method == ZIP_CM_DEFLATE ? kDeflateLevel : 0) != 0)
      fail("cannot write part '" + p.name + "'");
  }
  if (zip_close(out) != 0) fail("cannot write the archive");

  std::string bytes;
  if (zip_source_open(buffer) != 0) {
    zip_source_free(buffer);
    throw Error("cannot read back the written archive");
  }
  zip_source_seek(buffer, 0, SEEK_END);
  zip_int64_t size = zip_source_tell(buffer);
  zip_source_seek(buffer, 0, SEEK_SET);
  if (size > 0) {
    bytes.resize(static_cast<size_t>(size));
    zip_int64_t got = zip_source_read(buffer, bytes.data(), static_cast<zip_uint64_t>(size));
    if (got != size) bytes.clear();
  }
  zip_source_close(buffer);
  zip_source_free(buffer);
  if (bytes.empty()) throw Error("cannot read back the written archive");
  return bytes;
}

void Package::save(const std::filesystem::path& path) const {
  const std::string bytes = to_bytes();
  try {
    travo::platform::atomic_write(path, bytes);
  } catch (const travo::platform::Atomic_File_Error& e) {
    throw Error("cannot save '" + platform::utf8_string(path) + "': " + e.cause());
  }
}

}  // namespace travo::docx
