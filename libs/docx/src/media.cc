#include "media.h"

#include <charconv>

#include "travo/docx/namespaces.h"
#include "travo/text/ascii.h"
#include "xml_util.h"

namespace travo::docx::detail {
namespace {

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool is_media_part(const std::string& name) {
  return name.size() > 11 && text::iequals(std::string_view(name).substr(0, 11), "word/media/");
}

void max_id(const xmlNode* n, std::uint32_t& highest) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    for (xmlAttrPtr a = n->properties; a; a = a->next) {
      if (a->ns || !xmlStrEqual(a->name, xchars("id")) || !a->children) continue;
      const char* v = chars(a->children->content);
      if (!v) continue;
      std::uint32_t id = 0;
      auto [end, ec] = std::from_chars(v, v + std::char_traits<char>::length(v), id);
      if (ec == std::errc() && *end == '\0' && id > highest) highest = id;
    }
    max_id(n->children, highest);
  }
}

xmlNodePtr child(xmlNodePtr parent, xmlNsPtr ns, const char* name) {
  return xmlNewChild(parent, ns, xchars(name), nullptr);
}

void attr(xmlNodePtr n, const char* name, const std::string& value) {
  xmlNewProp(n, xchars(name), xchars(value.c_str()));
}

}  // namespace

Media_Ref add_media(Context& ctx, const Image& image) {
  Package& pkg = ctx.package;
  if (!ctx.media_indexed) {
    for (const std::string& name : pkg.part_names())
      if (is_media_part(name)) ctx.media_by_hash.emplace(fnv1a(pkg.part_data(name)), name);
    ctx.media_indexed = true;
  }
  const std::uint64_t hash = fnv1a(image.bytes());
  std::string part;
  auto [lo, hi] = ctx.media_by_hash.equal_range(hash);
  for (auto it = lo; it != hi && part.empty(); ++it)
    if (pkg.has_part(it->second) && pkg.part_data(it->second) == image.bytes()) part = it->second;

  if (part.empty()) {
    const std::string ext(image.extension());
    for (int n = 1; part.empty() || pkg.has_part(part); ++n)
      part = "word/media/image" + std::to_string(n) + "." + ext;
    pkg.set_part_data(part, image.bytes());
    const std::string type(image.content_type());
    if (pkg.content_type(part) != type && !pkg.add_default_content_type(ext, type))
      pkg.set_override_content_type(part, type);  // the extension means something else here
    ctx.media_by_hash.emplace(hash, part);
  }

  for (const Relationship& r : pkg.relationships(ctx.main_part))
    if (r.type == ns::kRelImage && !r.external &&
        text::iequals(Package::resolve_target(ctx.main_part, r.target), part))
      return {part, r.id};
  std::string id = pkg.add_relationship(ctx.main_part, ns::kRelImage,
                                        Package::relative_target(ctx.main_part, part));
  return {part, id};
}

xmlNodePtr new_inline_drawing(Context& ctx, const Media_Ref& ref, Length cx, Length cy) {
  xmlDocPtr doc = ctx.doc;
  if (!ctx.next_shape_id) {
    std::uint32_t highest = 0;
    max_id(xmlDocGetRootElement(doc), highest);
    ctx.next_shape_id = highest + 1;
  }
  const std::string id = std::to_string((*ctx.next_shape_id)++);
  xmlNsPtr wp = ensure_ns(doc, ns::kWp, "wp");
  xmlNsPtr a = ensure_ns(doc, ns::kA, "a");
  xmlNsPtr pic = ensure_ns(doc, ns::kPic, "pic");
  xmlNsPtr r = ensure_ns(doc, ns::kR, "r");
  const std::string w = std::to_string(cx.emu());
  const std::string h = std::to_string(cy.emu());
  const std::string file = ref.part_name.substr(ref.part_name.rfind('/') + 1);

  xmlNodePtr drawing = new_w(doc, "drawing");
  xmlNodePtr inl = child(drawing, wp, "inline");
  for (const char* d : {"distT", "distB", "distL", "distR"}) attr(inl, d, "0");
  xmlNodePtr extent = child(inl, wp, "extent");
  attr(extent, "cx", w);
  attr(extent, "cy", h);
  xmlNodePtr effect = child(inl, wp, "effectExtent");
  for (const char* side : {"l", "t", "r", "b"}) attr(effect, side, "0");
  xmlNodePtr doc_pr = child(inl, wp, "docPr");
  attr(doc_pr, "id", id);
  attr(doc_pr, "name", "Picture " + id);
  xmlNodePtr frame = child(inl, wp, "cNvGraphicFramePr");
  attr(child(frame, a, "graphicFrameLocks"), "noChangeAspect", "1");
  xmlNodePtr graphic_data = child(child(inl, a, "graphic"), a, "graphicData");
  attr(graphic_data, "uri", ns::kPic);
  xmlNodePtr p = child(graphic_data, pic, "pic");
  xmlNodePtr nv = child(p, pic, "nvPicPr");
  xmlNodePtr c_nv = child(nv, pic, "cNvPr");
  attr(c_nv, "id", "0");
  attr(c_nv, "name", file);
  child(nv, pic, "cNvPicPr");
  xmlNodePtr fill = child(p, pic, "blipFill");
  xmlNewNsProp(child(fill, a, "blip"), r, xchars("embed"), xchars(ref.relationship_id.c_str()));
  child(child(fill, a, "stretch"), a, "fillRect");
  xmlNodePtr sp = child(p, pic, "spPr");
  xmlNodePtr xfrm = child(sp, a, "xfrm");
  xmlNodePtr off = child(xfrm, a, "off");
  attr(off, "x", "0");
  attr(off, "y", "0");
  xmlNodePtr ext = child(xfrm, a, "ext");
  attr(ext, "cx", w);
  attr(ext, "cy", h);
  xmlNodePtr geom = child(sp, a, "prstGeom");
  attr(geom, "prst", "rect");
  child(geom, a, "avLst");
  return drawing;
}

}  // namespace travo::docx::detail
